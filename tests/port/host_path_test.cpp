#include "port/posix/host_fs.h"

#include <errno.h>

#include "port_fixture.h"

namespace koushin::port::testing {
namespace {

using HostPathTest = PortTest;

TEST_F(HostPathTest, ResolvesDrivesSeparatorsDotsCaseAndEachDrivesCurrentFolder) {
  const std::string soft = kSo + "\x83\x74\x83\x67" + kHyo;  // ソフト表 in code page 932
  const std::string softUtf8 = kSoUtf8 + "\xe3\x83\x95\xe3\x83\x88" + kHyoUtf8;
  MakeFile("c/Est/Sub/file.TXT");
  MakeFile("c/" + softUtf8 + "/data.ini");
  fs::create_directories(Host("c/\xef\xbc\xa1\xef\xbc\xa2\xef\xbc\xa3"));  // ＡＢＣ
  for (const char* name : {"abc", "ABC", "aBc"}) MakeFile(std::string("c/case/") + name);
  MakeFile("d/top/x");
  ASSERT_TRUE(ChangeFolder("c:\\est\\SUB"));
  ASSERT_TRUE(ChangeFolder("d:\\"));  // D becomes current; C keeps its folder
  struct Case {
    std::string windows;
    std::string host;  // relative to the temporary root; "!" and the errno on failure
  };
  const Case cases[] = {
      {"C:\\EST\\SUB\\FILE.txt", "c/Est/Sub/file.TXT"},
      {"c:/est//sub\\\\file.txt", "c/Est/Sub/file.TXT"},
      {"C:\\EST\\..\\..\\..\\est\\.\\Sub", "c/Est/Sub"},  // never above the root
      {"C:\\", "c"},
      {"D:\\", "d"},
      {"C:\\Est\\", "c/Est/"},          // a trailing separator stays
      {"C:\\est.\\sub ", "c/Est/Sub"},  // trailing dots and blanks are ignored
      {"C:\\" + soft + "\\DATA.INI", "c/" + softUtf8 + "/data.ini"},
      {"C:\\" + soft + "\\..\\" + soft + "\\new.ini", "c/" + softUtf8 + "/new.ini"},
      {"C:\\\x82\x81\x82\x82\x82\x83",
       "c/\xef\xbc\xa1\xef\xbc\xa2\xef\xbc\xa3"},  // ａｂｃ -> ＡＢＣ
      {"C:\\New\\Thing.txt", "c/New/Thing.txt"},   // no match: as given
      {"C:\\case\\aBc", "c/case/aBc"},             // the exact spelling wins
      {"C:\\case\\ABc", "c/case/ABC"},             // else the first in sorted order
      {"c:\\Est\\Sub\\FILE.TXT\\", "c/Est/Sub/file.TXT/"},
      {HostCp932("C/EST\\sub"), "c/Est/Sub"},  // host path, matched the same way
      {"c:file.txt", "c/Est/Sub/file.TXT"},    // relative to each drive's own folder
      {"C:..\\sub\\.\\FILE.TXT", "c/Est/Sub/file.TXT"},
      {"c:..\\..\\..\\..", "c"},
      {"C:", "c/Est/Sub"},
      {"D:", "d"},
      {"top\\X", "d/top/x"},
      {"\\top", "d/top"},
      {"..", "d"},
      {"Q:\\x", "!" + std::to_string(ENOENT)},  // no such drive
      {"\\\\server\\share\\x", "!" + std::to_string(ENOENT)},
      {"C:\\bad\x83", "!" + std::to_string(EILSEQ)},  // a lead byte alone
      {std::string("C:\\a\0b", 6), "!" + std::to_string(EINVAL)},
      {"", "!" + std::to_string(ENOENT)},
  };
  const std::string prefix = root_.string() + "/";
  for (const Case& c : cases) {
    std::string host;
    Error error;
    if (posix::ResolveHostPath(c.windows, &host, &error)) {
      EXPECT_EQ(host.compare(0, prefix.size(), prefix) == 0 ? host.substr(prefix.size()) : host,
                c.host)
          << c.windows;
    } else {
      EXPECT_EQ(error.path, c.windows);
      EXPECT_EQ("!" + std::to_string(error.hostCode), c.host) << c.windows;
    }
  }
}

}  // namespace
}  // namespace koushin::port::testing
