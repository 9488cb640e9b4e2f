#include "engine/media_list.h"

#include "engine/messages.h"
#include "port/port.h"
#include "text/cp932.h"

namespace koushin::engine {

namespace {

constexpr std::size_t kHexDigits = 64;

bool IsLowerHex(const std::string& text) {
  if (text.size() != kHexDigits) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// A listed path must stay on the disk: no drive, no root, no "..", no empty component.
bool IsSafeRelativePath(const std::string& utf8) {
  if (utf8.empty() || utf8[0] == '/' || utf8.find('\\') != std::string::npos ||
      utf8.find(':') != std::string::npos) {
    return false;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = utf8.find('/', start);
    const std::string part = utf8.substr(start, slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

}  // namespace

bool ParseFileList(const std::string& bytes, std::vector<ListedFile>* files, int* badLine) {
  files->clear();
  int number = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    ++number;
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ListedFile file;
    // "HEX  PATH": the text mode's two spaces; the binary mode's " *" is taken as well.
    if (line.size() < kHexDigits + 3 || line[kHexDigits] != ' ' ||
        (line[kHexDigits + 1] != ' ' && line[kHexDigits + 1] != '*')) {
      *badLine = number;
      return false;
    }
    file.hex = line.substr(0, kHexDigits);
    const std::string utf8 = line.substr(kHexDigits + 2);
    if (!IsLowerHex(file.hex) || !IsSafeRelativePath(utf8) ||
        !port::Utf8ToCp932(utf8, &file.path)) {
      *badLine = number;
      return false;
    }
    // '/' is ASCII and never a trail byte in code page 932, so a plain replace is safe.
    for (char& c : file.path) {
      if (c == '/') c = '\\';
    }
    files->push_back(file);
  }
  return true;
}

std::string FileListLine(const std::string& hex, const std::string& utf8Path) {
  return hex + "  " + utf8Path + "\n";
}

bool IsUsableKey(const std::string& pem) {
  return port::VerifySignature(pem, std::string(), std::string()) != port::SignatureCheck::kBadKey;
}

bool LoadInstalledKeys(const std::string& installFolder, std::vector<TrustedKey>* keys,
                       std::string* bad) {
  const std::string folder = installFolder + kTrustedKeysFolder;
  std::vector<port::FoundEntry> entries;
  if (!port::FindEntries(folder + "*", &entries)) return true;  // no folder: nothing trusted
  for (const port::FoundEntry& entry : entries) {
    if (entry.isFolder) continue;
    TrustedKey key;
    key.name = folder + entry.name;
    if (!port::ReadWholeFile(key.name, &key.pem) || !IsUsableKey(key.pem)) {
      *bad = key.name;
      return false;
    }
    keys->push_back(key);
  }
  return true;
}

bool DiskCheck::Covers(const std::string& name) const {
  if (verdict == DiskVerdict::kNoList) return true;
  std::string path = name;
  for (std::size_t i = 0; i < path.size(); i += text::CharLength(path, i)) {
    if (path[i] == '/') path[i] = '\\';
  }
  return files.count(text::ToUpper(path)) != 0;
}

DiskCheck CheckDisk(const std::string& folder, const std::vector<TrustedKey>& keys) {
  DiskCheck check;
  std::string list;
  const std::string listPath = folder + kFileListName;
  const bool haveList = port::PathExists(listPath);
  std::string signature;
  check.signedList = port::PathExists(folder + kSignatureName);
  if (!haveList) {
    check.verdict = keys.empty() ? DiskVerdict::kNoList : DiskVerdict::kNoSignature;
    return check;
  }
  if (!port::ReadWholeFile(listPath, &list)) {
    check.verdict = DiskVerdict::kListUnreadable;
    check.file = kFileListName;
    return check;
  }
  if (!keys.empty()) {
    if (!check.signedList) {
      check.verdict = DiskVerdict::kNoSignature;
      return check;
    }
    if (!port::ReadWholeFile(folder + kSignatureName, &signature)) {
      check.verdict = DiskVerdict::kUntrusted;
      return check;
    }
    for (const TrustedKey& key : keys) {
      if (port::VerifySignature(key.pem, list, signature) == port::SignatureCheck::kValid) {
        check.signer = key.name;
        break;
      }
    }
    if (check.signer.empty()) {
      check.verdict = DiskVerdict::kUntrusted;
      return check;
    }
  }
  std::vector<ListedFile> files;
  int badLine = 0;
  if (!ParseFileList(list, &files, &badLine)) {
    check.verdict = DiskVerdict::kListUnreadable;
    check.file = kFileListName;
    return check;
  }
  for (const ListedFile& file : files) check.files.insert(text::ToUpper(file.path));
  for (const ListedFile& file : files) {
    port::Sha256Digest digest;
    const std::string path = folder + file.path;
    if (!port::PathExists(path)) {
      check.verdict = DiskVerdict::kFileMissing;
      check.file = file.path;
      return check;
    }
    if (!port::Sha256OfFile(path, &digest) || port::HexDigest(digest) != file.hex) {
      check.verdict = DiskVerdict::kFileDiffers;
      check.file = file.path;
      return check;
    }
  }
  check.verdict = DiskVerdict::kSound;
  return check;
}

std::string DiskRefusal(const DiskCheck& check, int disk) {
  switch (check.verdict) {
    case DiskVerdict::kListUnreadable:
      return messages::MediaListUnreadable();
    case DiskVerdict::kNoSignature:
      return messages::MediaUnsigned(disk);
    case DiskVerdict::kUntrusted:
      return messages::MediaUntrusted(disk);
    case DiskVerdict::kFileMissing:
      return messages::MediaFileMissing(check.file);
    case DiskVerdict::kFileDiffers:
      return messages::MediaFileDamaged(check.file);
    case DiskVerdict::kNoList:
    case DiskVerdict::kSound:
      break;
  }
  return std::string();
}

}  // namespace koushin::engine
