#include "archive/target_name.h"

#include <gtest/gtest.h>

namespace koushin::archive {
namespace {

TEST(TargetNameTest, RefusesWhatCouldEscapeOrNameADevice) {
  struct Case {
    std::string name;
    NameProblem problem;
  } cases[] = {
      {"tamiro1.ini", NameProblem::kNone},
      {"UPPER.TXT", NameProblem::kNone},
      {"\x83\x5C.txt", NameProblem::kNone},      // ソ.txt: its 0x5C is a trail byte
      {"\x95\x5C\x94\x5C", NameProblem::kNone},  // 表能
      {"\x83\x40.txt", NameProblem::kNone},      // ァ.txt: 0x40 is the lowest trail byte
      {"a[1].txt", NameProblem::kNone},
      {".hidden", NameProblem::kNone},
      {"", NameProblem::kEmpty},
      {".", NameProblem::kDots},
      {"..", NameProblem::kDots},
      {"c:evil", NameProblem::kForbiddenChar},
      {"a\\b", NameProblem::kForbiddenChar},
      {"a/b", NameProblem::kForbiddenChar},
      {"link|target", NameProblem::kForbiddenChar},
      {"a?b", NameProblem::kForbiddenChar},
      {"tmp\x1B]2;malicious", NameProblem::kForbiddenChar},  // terminal escape
      {std::string("a\0b", 3), NameProblem::kForbiddenChar},
      {"a\x7F", NameProblem::kForbiddenChar},
      {"name.", NameProblem::kTrailingDotSpace},
      {"name ", NameProblem::kTrailingDotSpace},
      {"CON", NameProblem::kDeviceName},
      {"con.txt", NameProblem::kDeviceName},
      {"Nul", NameProblem::kDeviceName},
      {"aux .log", NameProblem::kDeviceName},
      {"COM1", NameProblem::kDeviceName},
      {"lpt9.dat", NameProblem::kDeviceName},
      {"CONOUT$", NameProblem::kDeviceName},
      {"COM0", NameProblem::kNone},
      {"CONSOLE", NameProblem::kNone},
      {"\x83", NameProblem::kBrokenCharacter},  // a lead byte alone
  };
  for (const auto& c : cases) EXPECT_EQ(CheckTargetName(c.name), c.problem) << c.name;
}

}  // namespace
}  // namespace koushin::archive
