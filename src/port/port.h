// The platform port: everything the engine and the screens ask of the platform.
//
// Paths are Windows path strings in code page 932 ("C:\\EST\\tamiro1.ini", "c:name", "\\",
// "\\\\server\\share\\x"), built by plain concatenation. Both implementations resolve them: the
// Win32 one through the wide-character API, the POSIX one through a model of Windows drives (see
// Configure). On POSIX a path that begins with '/' is a host path without a drive.
//
// No call throws and none aborts. A call that can fail returns false (or an empty result) and,
// when given an Error, fills it with the host error code and the Windows path.
//
// Names below avoid the Win32 API's names, which <windows.h> turns into macros.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace koushin::port {

struct Error {
  int hostCode = 0;       // errno on POSIX, GetLastError() on Windows
  std::string path;       // the Windows path (code page 932) the call was about
  std::string operation;  // what was being done, in English ("copy", "rename", ...)
  std::string detail;     // the host's own description of the cause, UTF-8/ASCII

  // "operation path: detail" for logs; the path is converted to UTF-8.
  std::string Describe() const;
};

// ---------------------------------------------------------------------------------------------
// Set-up (POSIX only; the Win32 port uses the real machine and ignores these options).

struct Options {
  std::map<char, std::string> drives;  // upper-case drive letter -> host folder
  std::set<char> removable;            // upper-case letters of drives that report type 2
  std::string winePrefix;              // host folder of a Wine prefix: drives and registry
  std::string registryFile;            // a .reg export (REGEDIT4 or version 5) or system.reg
  std::string windowsFolder;           // empty: "C:\\WINDOWS", or "C:\\windows" with a prefix
  char currentDrive = 0;               // upper-case letter; 0: 'C' if mapped, else the first
};

// Applies the options. On POSIX it replaces the drive map (a Wine prefix's dosdevices first, then
// the explicit drives over it), resets every drive's current folder to its root and makes
// `currentDrive` current. Returns false with an Error when a folder or the registry file cannot
// be used; the previous set-up then stays. On Windows it does nothing and returns true.
// Before any Configure call the POSIX port is as with empty Options: no drives (CurrentDrive()
// is 0, drive paths fail), host paths beginning with '/' work, relative paths resolve against
// the host process's working folder, the registry is empty, the Windows folder is "C:\\WINDOWS".
bool Configure(const Options& options, Error* error = nullptr);

// ---------------------------------------------------------------------------------------------
// Text conversion between code page 932 and the platform's own text (UTF-8 on POSIX and for the
// terminal). A byte sequence that does not convert gives false; nothing is replaced silently.

bool Cp932ToUtf8(const std::string& cp932, std::string* utf8);
bool Utf8ToCp932(const std::string& utf8, std::string* cp932);

// A layer's table of fixed texts, written in UTF-8 in the source, in code page 932. A text the
// converter refuses comes back as `fallback`, or as its UTF-8 bytes when `fallback` is null.
std::vector<std::string> Utf8TableToCp932(const char* const* utf8, std::size_t count,
                                          const char* fallback = nullptr);
// For messages and logs: converts, replacing what does not convert by '?'.
std::string Cp932ToUtf8Lossy(const std::string& cp932);

// ---------------------------------------------------------------------------------------------
// Drives and current folders, as the C run-time library has them.

// Number of the current drive, 1 = A:.
int CurrentDrive();
// Makes drive `number` current; the process's current folder becomes that drive's own current
// folder. False when the drive does not exist.
bool ChangeDrive(int number);
// _chdir: "\\" (root of the current drive), "c:\\" (root of c, which also becomes current),
// "c:name" (relative to c's current folder), "name", "..". On success the current drive and that
// drive's current folder change.
bool ChangeFolder(const std::string& path, Error* error = nullptr);
// _getcwd: the full current folder, "C:\\" or "C:\\EST\\SUB" (no trailing '\\' but at a root).
std::string CurrentFolder();
// The available drives, as lower-case letters in order ('a', 'c', ...).
std::vector<char> AvailableDrives();
// The drive type of the drive a path lies on, as GetDriveType reports it: 2 removable, 3 fixed,
// 4 remote, 5 CD-ROM, 1 no such drive (root path invalid), 0 unknown.
int DriveTypeOf(const std::string& path);
// The Windows folder, without a trailing '\\' ("C:\\WINDOWS").
std::string WindowsFolder();

// ---------------------------------------------------------------------------------------------
// Files and folders.

// _access(path, 0) == 0: a file or folder exists at the path.
bool PathExists(const std::string& path);
bool IsFolder(const std::string& path);
// _mkdir: creates one folder; its parent must exist.
bool MakeFolder(const std::string& path, Error* error = nullptr);
// Copies a file over an existing one (CopyFile with fail-if-exists off). The target is written as
// a temporary file in the target's folder, flushed and renamed over the target, so it is never
// torn. The copy keeps the source's last-write time and attribute byte, as CopyFile does.
bool CopyFileReplacing(const std::string& from, const std::string& to, Error* error = nullptr);
bool RemoveFile(const std::string& path, Error* error = nullptr);
// Removes one empty folder (RemoveDirectory / rmdir).
bool RemoveFolder(const std::string& path, Error* error = nullptr);
// Makes a second name `link` for the existing file `existing` (CreateHardLink / link). Fails when
// anything is at `link` already, when the file system has no hard links, or across volumes; the
// caller then copies.
bool MakeHardLink(const std::string& existing, const std::string& link, Error* error = nullptr);
// Whether the last name of `path` is a way out of its folder's tree, looked at without following
// it: a symbolic link, a junction or any other reparse point (Windows), a symbolic link (POSIX),
// or a mount point (a folder on another volume than its parent). Also true when something is
// there that cannot be looked at, so a caller that must not leave a tree stays in it; false when
// nothing is there.
bool IsLinkOrMountPoint(const std::string& path);
// Renames, replacing an existing target atomically. With `syncFolder` the rename is on the disk
// when this returns; without, it is atomic but may be lost to a crash until the caller's
// SyncFolder of the target's folder (a journaled run, which puts back an unfinished run anyway,
// makes its renames lasting once, at its commit).
bool RenameReplacing(const std::string& from, const std::string& to, Error* error = nullptr,
                     bool syncFolder = true);
// Makes the entries of `folder` (names created, renamed or removed in it) lasting on the disk.
// Windows writes them through at each rename already, so there it does nothing.
bool SyncFolder(const std::string& folder, Error* error = nullptr);

// Times are Windows FILETIMEs: 100-nanosecond intervals since 1601-01-01 UTC.
using FileTime = std::int64_t;
FileTime FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds = 0);
std::int64_t UnixFromFileTime(FileTime time);

// DOS attribute bits.
enum : std::uint8_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
};

struct FileStatus {
  FileTime creationTime = 0;
  FileTime lastWriteTime = 0;
  FileTime lastAccessTime = 0;
  std::uint64_t size = 0;
  std::uint8_t attributes = 0;
};

// CFile::GetStatus / SetStatus. SetStatus writes the attribute byte and the three times (a time
// of 0 is left as it is).
bool ReadFileStatus(const std::string& path, FileStatus* status, Error* error = nullptr);
bool WriteFileStatus(const std::string& path, const FileStatus& status, Error* error = nullptr);

// Whole-file reads and writes of bytes. WriteWholeFile creates or truncates the file and flushes
// it to the disk before returning (no temporary file: callers that replace a file write a
// temporary one and RenameReplacing it). WriteFileAtomically does both.
bool ReadWholeFile(const std::string& path, std::string* bytes, Error* error = nullptr);
bool WriteWholeFile(const std::string& path, const std::string& bytes, Error* error = nullptr);
// ReadWholeFile for a file that may hold at most `limit` bytes: a larger one fails, after at most
// limit + 1 bytes were read, with an Error saying so (`*tooLarge` true when given), so that a huge
// file never exhausts the memory.
bool ReadWholeFileUpTo(const std::string& path, std::size_t limit, std::string* bytes,
                       Error* error = nullptr, bool* tooLarge = nullptr);
bool WriteFileAtomically(const std::string& path, const std::string& bytes, Error* error = nullptr);

// An existing file opened for reading and writing with no sharing (CreateFile with share mode 0
// and backup semantics on Windows; an exclusive open-file-description lock on POSIX, which only
// keeps out other programs that lock too).
class ExclusiveFile {
 public:
  ExclusiveFile();
  ~ExclusiveFile();
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;

  // `writable` false opens for reading only (still without sharing).
  // A file another program holds fails with an Error for which HeldByAnother is true.
  bool Open(const std::string& path, bool writable, Error* error = nullptr);
  bool ReadAll(std::string* bytes, Error* error = nullptr);
  bool LastWriteTime(FileTime* time, Error* error = nullptr);
  void Close();
  bool IsOpen() const;

 private:
  std::intptr_t handle_;
  std::string path_;
};

// Whether a failed ExclusiveFile::Open failed because another program holds the file (rather
// than for want of rights, a missing file or a broken disk).
bool HeldByAnother(const Error& error);

// Streaming file access, for data too large to hold whole (archive members).
//
// A file read from its start to its end; other readers are not kept out.
class InputFile {
 public:
  InputFile();
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens an existing file (not a folder) for reading.
  bool Open(const std::string& path, Error* error = nullptr);
  // Reads up to `size` bytes; `*got` is 0 at the end of the file. False on a read error.
  bool Read(void* buffer, std::size_t size, std::size_t* got, Error* error = nullptr);
  void Close();
  bool IsOpen() const;

 private:
  std::intptr_t handle_;
  std::string path_;
};

// A new file written front to back. Create fails when anything exists at the path already, so a
// temporary name never clobbers a file. Finish flushes the data to the disk and closes the file.
// Closing (or destroying) an unfinished file leaves it in place; the caller removes it.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Create(const std::string& path, Error* error = nullptr);
  bool Write(const void* data, std::size_t size, Error* error = nullptr);
  // Flushes what was written to the disk and keeps the file open for more.
  bool Flush(Error* error = nullptr);
  // Writes `size` zero bytes ahead of the current position, flushes them, and goes back: later
  // writes into that room change no file size, so each Flush of them is cheap.
  bool Reserve(std::size_t size, Error* error = nullptr);
  bool Finish(Error* error = nullptr);
  void Close();
  bool IsOpen() const;

 private:
  std::intptr_t handle_;
  std::string path_;
};

// A directory search (FindFirstFile / FindNextFile, or CFileFind). `pattern` is a path whose last
// component may hold '*' and '?', matched case-insensitively as Windows does ("c:\\*.*",
// "c:.\\*.*", "D:\\M\\1\\zai???-3.mst"). Delivers every matching entry, hidden ones included, and
// "." and ".." where Windows would (every folder but a drive root). POSIX delivers entries sorted
// by name. False, with an empty list, when the folder is missing or nothing matches.
struct FoundEntry {
  std::string name;  // code page 932, the name only
  bool isFolder = false;
};
bool FindEntries(const std::string& pattern, std::vector<FoundEntry>* entries,
                 Error* error = nullptr);

// ---------------------------------------------------------------------------------------------
// Digests and signatures, for the media's file lists: the platform's own vetted code (OpenSSL's
// libcrypto on POSIX, CNG on Windows), never ours.

using Sha256Digest = std::array<std::uint8_t, 32>;

// SHA-256 fed piece by piece. A failure of the platform's code makes Finish return false.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything given; once only.
  bool Finish(Sha256Digest* digest);

 private:
  void* state_;
  bool failed_ = false;
};

// SHA-256 of the whole file at `path` (a path as the file calls above take it). False when the
// file cannot be opened or read.
bool Sha256OfFile(const std::string& path, Sha256Digest* digest, Error* error = nullptr);

// Lowercase hexadecimal, as sha256sum writes it.
std::string HexDigest(const Sha256Digest& digest);

enum class SignatureCheck {
  kValid,    // made by the key over these bytes
  kInvalid,  // not made by this key over these bytes (another key, or changed bytes)
  kBadKey,   // the key is no PEM SubjectPublicKeyInfo of an ECDSA P-256 key
};

// Whether `signature` (DER, as "openssl dgst -sha256 -sign" writes it) is an ECDSA signature
// over the SHA-256 of `message` by the P-256 public key `publicKeyPem`.
SignatureCheck VerifySignature(const std::string& publicKeyPem, const std::string& message,
                               const std::string& signature);

// Signing, for the media compiler. Only the POSIX port signs; elsewhere these return false with
// `problem` saying so.
constexpr bool kCanSign =
#ifdef _WIN32
    false;
#else
    true;
#endif
// Makes a new ECDSA P-256 key: the private key as PEM PKCS#8 into the new file `privateKeyPath`
// (created readable by its owner only; an existing file is never replaced) and the public key as
// PEM SubjectPublicKeyInfo into `publicKeyPath`. Host paths in UTF-8.
bool MakeSigningKey(const std::string& privateKeyPath, const std::string& publicKeyPath,
                    std::string* problem);
// The DER ECDSA signature over the SHA-256 of `message` by the PEM private key `privateKeyPem`.
bool SignMessage(const std::string& privateKeyPem, const std::string& message,
                 std::string* signature, std::string* problem);

// ---------------------------------------------------------------------------------------------
// Fault injection, for the tests that fail every file operation of a run in turn. It exists only
// in builds with KOUSHIN_FAULT_INJECTION (test builds); elsewhere no operation ever fails by it.
// Each operation that changes the disk (create, write, flush, rename, link, delete, status write,
// folder creation and removal, profile write) counts as one. A whole program under test takes the
// faults from the environment: KOUSHIN_FAULTS="first[,count]".

#ifdef KOUSHIN_FAULT_INJECTION
// Operations number `first` to `first + count - 1` (counted from 1 since the last call) fail with
// an I/O error. `first` 0: nothing fails, counting starts afresh.
void SetInjectedFaults(long first, long count = 1);
// Changing operations counted since the last SetInjectedFaults.
long ChangingOperationCount();
// Counts one operation; true (with `error` filled) when it is to fail.
bool FaultInjected(const std::string& path, const char* operation, Error* error);
// For the power-loss simulation: told of every changing operation right before it is made (and
// before it may fail by injection), with the operation as FaultInjected names it, its path and,
// for a rename or a link, the existing name. Null: nobody is told.
using OperationObserver = void (*)(const char* operation, const std::string& path,
                                   const std::string& from);
void SetOperationObserver(OperationObserver observer);
// Tells the observer of a step within an operation already counted (the flush that ends a
// Reserve), without counting it or letting it fail.
void ObserveOperation(const char* operation, const std::string& path);
// The existing name of the rename or link whose FaultInjected comes next; `synced`: a rename
// whose folder is synced with it (the observer is told "rename synced").
void NoteOperationSource(const std::string& from, bool synced = false);
// A child process that a test kills at any moment, as a power cut or the task manager would end
// a run. POSIX runs `work` in a fork. Windows cannot fork: it starts this program again with
// KOUSHIN_CHILD=`task` in its environment and its standard handles on the null device, and the
// program does that task of its own accord. The child is killed after `killAfter` microseconds
// (negative: waited for to its end); returns the microseconds it ran, or -1 when it could not
// start.
long RunChildProcess(const std::string& task, int (*work)(), long killAfter);
#else
inline bool FaultInjected(const std::string&, const char*, Error*) { return false; }
inline void NoteOperationSource(const std::string&, bool = false) {}
inline void ObserveOperation(const char*, const std::string&) {}
#endif
// Volumes and files in use: what the update run checks before it changes anything.

struct VolumeInfo {
  std::string id;               // equal for two paths on the same volume, else different
  std::uint64_t freeBytes = 0;  // free space this program may use
  bool hardLinks = false;       // a file there can be given a second name (a kept old version)
};
// The volume that holds `path`, or, where nothing exists at the path yet, its nearest existing
// parent folder.
bool QueryVolume(const std::string& path, VolumeInfo* info, Error* error = nullptr);

struct FilesInUse {
  std::vector<std::string> files;     // the given paths that another running program holds open
  std::vector<std::string> programs;  // the names of those programs, each once (code page 932)
};
// Looks for running programs other than this one that hold any of `paths` open (files that do
// not exist are passed over). POSIX reads /proc as fuser does (open files and mapped ones), and
// names a program run by Wine by its Windows program file; Windows asks the Restart Manager and,
// where it is missing or names nobody, opens each file without sharing, which finds the file but
// not the program. False with an Error when no search could be made at all.
bool FindFilesInUse(const std::vector<std::string>& paths, FilesInUse* found,
                    Error* error = nullptr);

// ---------------------------------------------------------------------------------------------
// The profile (INI) services, with the semantics of GetPrivateProfileStringA and
// WritePrivateProfileStringA in code page 932.

// Reads into a buffer of `size` bytes exactly as GetPrivateProfileStringA does (section or key
// null: the list of names) and returns the count it returns.
std::size_t ProfileReadBuffer(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t size, const std::string& file);
// Reads a whole value with no length limit: the value, or `defaultValue` without its trailing
// blanks when the file, section or key is missing.
std::string ProfileRead(const std::string& section, const std::string& key,
                        const std::string& defaultValue, const std::string& file);
// WritePrivateProfileStringA: null value deletes the key, null key deletes the section. Returns
// false when the file cannot be written.
bool ProfileWrite(const char* section, const char* key, const char* value, const std::string& file,
                  Error* error = nullptr);
// One write of a value (never a deletion).
struct ProfileEntry {
  std::string section;
  std::string key;
  std::string value;
};
// The same writes, in order, into an existing temporary file of the caller's, which nobody else
// reads: the file is rewritten in place and flushed once (whether or not it changed), with no
// further temporary file beside it (the caller renames it in).
bool ProfileWriteTemporary(const std::vector<ProfileEntry>& entries, const std::string& file,
                           Error* error = nullptr);

// ---------------------------------------------------------------------------------------------
// The registry, read only, below HKEY_LOCAL_MACHINE.

enum class RegistryLookup {
  kNoKey,    // the key cannot be opened
  kNoValue,  // the key opens, but the value cannot be read as a string
  kFound,
};
// Opens HKEY_LOCAL_MACHINE\<subKey> with read access and reads the string value `valueName`
// (code page 932 in and out). Key names match case-insensitively.
RegistryLookup RegistryReadString(const std::string& subKey, const std::string& valueName,
                                  std::string* value);

// ---------------------------------------------------------------------------------------------
// The process and the host: what a front end needs before any Windows path exists. These speak
// the host's own paths in UTF-8 (a Windows path "C:\\x" or "\\\\server\\share" on Windows, a
// POSIX path on Linux), not code page 932, and do not depend on Configure.

// The program's arguments, argv[0] first, as UTF-8. On Windows they are taken from the wide
// command line (GetCommandLineW), so that a name outside the ANSI code page arrives whole; `argc`
// and `argv` are used only when that fails. On POSIX they are `argv` as given.
std::vector<std::string> ProgramArgumentsUtf8(int argc, char** argv);

// The host path made absolute against the process's working folder (on Windows the current
// drive's, as GetFullPathNameW resolves it, "." and ".." included); an absolute path stays as
// given, and so does an empty path or one that cannot be resolved.
std::string AbsoluteHostPath(const std::string& utf8Path);

// Whether a code page 932 path is in the Windows form: a drive letter, or a backslash at a
// character boundary (it is also the trail byte of ソ, 表 and 能, which a host path may hold).
bool IsWindowsPath(const std::string& cp932);

// A folder given on the command line (UTF-8) as the engine takes it: code page 932, ending with a
// separator; empty: the folder of the running program. A relative host path is made absolute, a
// relative Windows path ("upd\\", ".\\", "M:upd", "\\upd") full, once, against the current drive
// and folders as they are now (which are put back): the destination step moves the current
// drive's folder later, and the folder must not move with it. A bare drive "A:" keeps meaning
// its root. False with `problem` (English) when it has characters outside code page 932.
bool ResolveFolder(const std::string& given, const std::string& programArgument,
                   std::string* folder, std::string* problem);

// The folder the running program file lies in, absolute, without a trailing separator but at a
// root ("C:\\", "/"). `programArgument` (argv[0]) is the fallback when the system cannot name the
// program file. Empty when neither works.
std::string ProgramFolderUtf8(const std::string& programArgument);

// The machine's name (UTF-8), for a run's report; empty when the system does not give it.
std::string HostNameUtf8();

// fopen for a host path in UTF-8 (_wfopen on Windows, so that names outside the ANSI code page
// open). `mode` is fopen's ("rb", "wb", ...). Null when the file cannot be opened.
std::FILE* OpenHostFile(const std::string& utf8Path, const char* mode);

// True when the C stream (stdin, stdout, stderr) is an interactive terminal or console; false for
// files, pipes and the null device.
bool IsTerminal(std::FILE* stream);

// Makes the terminal take and show UTF-8 (the Windows console's input and output code pages);
// nothing on POSIX, where the terminal's text is the locale's.
void UseUtf8Console();

}  // namespace koushin::port
