// One pass over an archive: every member's header, name and method checked, its data decoded and
// its CRC compared. For an extraction each file member goes into a temporary file of the caller's
// transaction; for the check the decoded bytes are dropped.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/lzh_reader.h"
#include "archive/messages.h"
#include "journal/journal.h"
#include "port/port.h"

namespace koushin::archive {

struct Failure {
  ExtractCode code = ExtractCode::kExtracted;
  Text text = Text::kArchiveDamaged;
  std::string member;
  std::string detail;
};

// One decoded member waiting for its rename.
struct Pending {
  std::string temporary;
  std::string target;
  std::string member;
};

// What a listing says of one member.
MemberInfo InfoOf(const MemberHeader& header);

// Walks the archive at `archivePath`. With a target folder, file members are decoded into
// temporary files of `transaction` there (those the filter refuses are only checked), listed in
// `pending`; without one (the check) nothing is written and `transaction` may be null. False with
// `failure` at the first fault.
bool WalkArchive(const std::string& archivePath, const std::string* targetFolder,
                 journal::Transaction* transaction,
                 const std::function<void(const MemberInfo&)>* onMember,
                 const std::function<bool(const MemberInfo&)>* filter,
                 const ProgressCallback& progress, std::vector<Pending>* pending, Failure* failure);

// The archive file, read through the port in large pieces.
class FileSource : public ByteSource {
 public:
  explicit FileSource(port::InputFile& file) : file_(file), buffer_(new std::uint8_t[kSize]) {}
  std::size_t Read(std::uint8_t* out, std::size_t size) override {
    if (pos_ == end_) {
      if (failed_) return 0;
      std::size_t got = 0;
      if (!file_.Read(buffer_.get(), kSize, &got, &error)) {
        failed_ = true;
        return 0;
      }
      pos_ = 0;
      end_ = got;
      if (got == 0) return 0;
    }
    const std::size_t n = std::min(size, end_ - pos_);
    std::memcpy(out, buffer_.get() + pos_, n);
    pos_ += n;
    return n;
  }
  bool Failed() const override { return failed_; }
  port::Error error;

 private:
  static constexpr std::size_t kSize = 64 * 1024;
  port::InputFile& file_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool failed_ = false;
};

}  // namespace koushin::archive
