#include "archive/messages.h"

#include <vector>

#include "port/port.h"
#include "text/cp932.h"

namespace koushin::archive {
namespace {

const char* const kUtf8[] = {
    "書庫 %A が見つかりません",
    "書庫 %A の展開先フォルダ %D がありません",
    "書庫 %A が壊れています (%D)",
    "書庫 %A を読めません (%D)",
    "書庫 %A の %M は未対応の圧縮形式 %D です",
    "書庫 %A の %M が壊れています (CRC エラー)",
    "書庫 %A の %M が壊れています (%D)",
    "書庫 %A の %M は展開できない名前です (%D)",
    "書庫 %A の %M はシンボリックリンクのため展開しません",
    "書庫 %A の %M を書き込めません (%D)",
    "書庫 %A の %M で既存のファイルを置き換えられません (%D)",
    "書庫 %A の展開中にメモリが足りなくなりました",
};
constexpr std::size_t kTextCount = sizeof kUtf8 / sizeof kUtf8[0];
static_assert(kTextCount == static_cast<std::size_t>(Text::kOutOfMemory) + 1,
              "one text for each Text");

const std::string& Cp932Text(Text text) {
  static const std::vector<std::string> converted =
      port::Utf8TableToCp932(kUtf8, kTextCount, "%A %M %D");
  return converted[static_cast<std::size_t>(text)];
}

std::string FileNameOf(const std::string& path) {
  const std::size_t cut = text::FindLastSeparator(path);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Cuts a code page 932 text to at most `limit` bytes without splitting a character.
std::string CutAtCharacter(const std::string& s, std::size_t limit) {
  std::size_t end = 0;
  while (end < s.size()) {
    const std::size_t len = text::CharLength(s, end);
    if (end + len > limit) break;
    end += len;
  }
  return s.substr(0, end);
}

std::string Fill(const std::string& pattern, const std::string& archive, const std::string& member,
                 const std::string& detail) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size();) {
    const std::size_t len = text::CharLength(pattern, i);
    if (len == 1 && pattern[i] == '%' && i + 1 < pattern.size()) {
      const char key = pattern[i + 1];
      if (key == 'A' || key == 'M' || key == 'D') {
        out += key == 'A' ? archive : key == 'M' ? member : detail;
        i += 2;
        continue;
      }
    }
    out.append(pattern, i, len);
    i += len;
  }
  return out;
}

// A detail for the person's message, Japanese in code page 932.
std::string Detail(const char* utf8) {
  std::string cp932;
  return port::Utf8ToCp932(utf8, &cp932) ? cp932 : std::string();
}

}  // namespace

std::string Printable(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t len = text::CharLength(name, i);
    const auto byte = static_cast<unsigned char>(name[i]);
    if (len == 1 && (byte < 0x20 || byte == 0x7F)) {
      out += '?';
    } else {
      out.append(name, i, len);
    }
    i += len;
  }
  return out;
}

std::string Compose(Text text, const std::string& archive, const std::string& member,
                    const std::string& detail, std::size_t limit) {
  const std::string& pattern = Cp932Text(text);
  const std::string shownMember = Printable(member);
  std::string message = Fill(pattern, archive, shownMember, detail);
  if (message.size() > limit) message = Fill(pattern, FileNameOf(archive), shownMember, detail);
  return CutAtCharacter(message, limit);
}

std::string NameProblemText(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone:
      return "";
    case NameProblem::kEmpty:
      return Detail("名前が空です");
    case NameProblem::kDots:
      return Detail("名前が \".\" か \"..\" です");
    case NameProblem::kForbiddenChar:
      return Detail("ファイル名に使えない文字があります");
    case NameProblem::kTrailingDotSpace:
      return Detail("名前が点か空白で終わっています");
    case NameProblem::kDeviceName:
      return Detail("装置の名前です");
    case NameProblem::kBrokenCharacter:
      return Detail("2 バイト文字が途中で切れています");
  }
  return "";
}

// What the decoder found, as the person's message says it.
std::string DecodeStatusText(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::kOk:
      return "";
    case DecodeStatus::kUnsupportedMethod:
      return Detail("未対応の圧縮形式");
    case DecodeStatus::kCorrupt:
      return Detail("圧縮されたデータが壊れています");
    case DecodeStatus::kLengthMismatch:
      return Detail("大きさが合いません");
    case DecodeStatus::kCrcMismatch:
      return Detail("CRC エラー");
    case DecodeStatus::kReadError:
      return Detail("読み取りエラー");
    case DecodeStatus::kStopped:
      return Detail("書き込みが止まりました");
  }
  return "";
}

}  // namespace koushin::archive
