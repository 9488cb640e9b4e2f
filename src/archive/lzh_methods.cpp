#include "archive/lzh_methods.h"

namespace koushin::archive {

namespace {

constexpr Method kMethods[] = {
    {"-lh0-", MethodFamily::kStored, 0, 0, false},
    {"-lh1-", MethodFamily::kAdaptive, 12, 0, false},
    {"-lh4-", MethodFamily::kStaticHuffman, 12, 4, false},
    {"-lh5-", MethodFamily::kStaticHuffman, 13, 4, true},
    {"-lh6-", MethodFamily::kStaticHuffman, 15, 5, true},
    {"-lh7-", MethodFamily::kStaticHuffman, 16, 5, true},
    {"-lzs-", MethodFamily::kLzss, 11, 0, false},
    {"-lz4-", MethodFamily::kStored, 0, 0, false},
    {"-lz5-", MethodFamily::kLzss, 12, 0, false},
    {"-lhd-", MethodFamily::kFolder, 0, 0, false},
};

}  // namespace

const Method* FindMethod(const std::string& id) {
  for (const Method& method : kMethods) {
    if (id == method.id) return &method;
  }
  return nullptr;
}

}  // namespace koushin::archive
