// The DOS attribute byte of host files. The whole byte lives in the extended attribute
// "user.DOSATTRIB", in the form Samba and Wine use ("0x21": hexadecimal text; Samba's newer
// binary form is read too); for files, read-only is also the absence of the owner's write
// permission bit, which is what counts when the two disagree (a chmod by another program wins).
// A folder's mode is left alone: its read-only flag lives in the extended attribute only. Where the
// file system has no user extended attributes (tmpfs, some network file systems), only read-only
// and the directory flag survive, and files read as archive.
#pragma once

#include <cstdint>
#include <string>

struct stat;

namespace koushin::port::posix {

// The attribute value held in a user.DOSATTRIB value: Wine's and old Samba's hexadecimal text
// "0x20", or Samba's binary record (versions 1 to 5). False when it is neither.
bool ParseDosAttrib(const std::string& value, std::uint32_t* attributes);

// The attribute byte of a file whose stat() result is `info`.
std::uint8_t ReadDosAttributes(const std::string& hostPath, const struct stat& info);

// True when the file's read-only attribute is set (no owner write permission).
bool IsReadOnly(const struct stat& info);

// Stores the attribute byte: for a file the write permission bits (read-only clears them all,
// otherwise the owner's is set), and user.DOSATTRIB. A file system without user extended attributes
// is no error. Returns false with errno set when the mode cannot be changed.
bool WriteDosAttributes(const std::string& hostPath, std::uint8_t attributes);

// Copies the user.DOSATTRIB value of `fromPath` (when it has one) to the open file `toFd`.
void CopyDosAttrib(const std::string& fromPath, int toFd);

}  // namespace koushin::port::posix
