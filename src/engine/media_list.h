// The list of a disk's files that koushin-pack writes on every disk (koushin.sha256, in the
// format sha256sum writes and checks), its signature (koushin.sha256.sig) and the keys an
// installation trusts. The update run checks a disk against its list when the disk is first
// used; the media check does the same without an installation.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace koushin::engine {

// Names on each disk, and the installation's folder of trusted public keys.
constexpr char kFileListName[] = "koushin.sha256";
constexpr char kSignatureName[] = "koushin.sha256.sig";
constexpr char kTrustedKeysFolder[] = ".koushin\\trusted\\";

struct ListedFile {
  std::string hex;   // 64 lowercase hexadecimal digits
  std::string path;  // code page 932, relative to the disk, '\\' between folders
};

// Parses a list: one "HEX  PATH" line each (LF or CR LF), paths in UTF-8 with '/'. False, with
// the 1-based line at fault in `badLine`, for anything else.
bool ParseFileList(const std::string& bytes, std::vector<ListedFile>* files, int* badLine);

// One line of a list for a file, as sha256sum writes it; `utf8Path` uses '/'.
std::string FileListLine(const std::string& hex, const std::string& utf8Path);

// A public key an installation or the command line trusts.
struct TrustedKey {
  std::string name;  // where it came from, for messages (code page 932)
  std::string pem;   // PEM SubjectPublicKeyInfo
};

// Adds the keys in `installFolder` (ending with a separator) + kTrustedKeysFolder: every file in
// it. False with the file's path in `bad` when one cannot be read or is no ECDSA P-256 public
// key: an administrator who put a key there wants signed media, and a damaged key must not
// quietly let unsigned ones through.
bool LoadInstalledKeys(const std::string& installFolder, std::vector<TrustedKey>* keys,
                       std::string* bad);
// True when `pem` is a usable public key.
bool IsUsableKey(const std::string& pem);

enum class DiskVerdict {
  kNoList,          // no koushin.sha256 (and no key demands one): the disk is taken as it is
  kSound,           // every listed file is there with its digest (and signed, when asked)
  kListUnreadable,  // the list cannot be read or parsed
  kNoSignature,     // trusted keys are known but the disk carries no signature
  kUntrusted,       // the signature is by none of the trusted keys, or the list was changed
  kFileMissing,     // a listed file is not on the disk
  kFileDiffers,     // a listed file's digest differs
};

struct DiskCheck {
  DiskVerdict verdict = DiskVerdict::kNoList;
  std::string file;             // the file concerned (code page 932, as listed), if any
  std::string signer;           // kSound with keys: the key that signed it
  std::set<std::string> files;  // the listed paths, upper case (the media are matched so)
  bool signedList = false;      // a signature file is on the disk

  bool Usable() const { return verdict == DiskVerdict::kSound || verdict == DiskVerdict::kNoList; }
  // Whether the run may read `name` (relative to the disk) from this disk: always without a list,
  // with one only what it lists.
  bool Covers(const std::string& name) const;
};

// Checks the disk in `folder` (ending with a separator): the signature first when `keys` is not
// empty, then every listed file's SHA-256. Stops at the first fault.
DiskCheck CheckDisk(const std::string& folder, const std::vector<TrustedKey>& keys);

// The message for a disk that failed its check (code page 932), naming the disk or the file.
std::string DiskRefusal(const DiskCheck& check, int disk);

}  // namespace koushin::engine
