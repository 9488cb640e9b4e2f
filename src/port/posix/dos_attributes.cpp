// The DOS attribute byte in user.DOSATTRIB and the permission bits.
#include "port/posix/dos_attributes.h"

#include <errno.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdio>

#include "port/port.h"

namespace koushin::port::posix {

namespace {

constexpr const char kXattrName[] = "user.DOSATTRIB";

std::uint32_t ReadLittle(const std::string& bytes, std::size_t pos, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[pos + i])) << (8 * i);
  }
  return value;
}

}  // namespace

bool ParseDosAttrib(const std::string& value, std::uint32_t* attributes) {
  // Hexadecimal text, with or without its NUL.
  if (value.size() >= 3 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
    std::uint32_t result = 0;
    std::size_t i = 2;
    for (; i < value.size() && i < 2 + 8; ++i) {
      const char c = value[i];
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        break;
      }
      result = result * 16 + static_cast<std::uint32_t>(digit);
    }
    if (i == 2) return false;
    *attributes = result;
    return true;
  }
  // Samba's binary record: a NUL-terminated text (empty in current versions), a 16-bit version,
  // the union's 16-bit switch, alignment to 4, then the version's fields in little-endian order.
  const std::size_t nul = value.find('\0');
  if (nul == std::string::npos) return false;
  std::size_t pos = nul + 1;
  pos = (pos + 1) & ~static_cast<std::size_t>(1);
  if (pos + 4 > value.size()) return false;
  const std::uint32_t version = ReadLittle(value, pos, 2);
  if (ReadLittle(value, pos + 2, 2) != version) return false;
  pos = (pos + 4 + 3) & ~static_cast<std::size_t>(3);
  if (version == 1) {  // attrib first
    if (pos + 4 > value.size()) return false;
    *attributes = ReadLittle(value, pos, 4);
    return true;
  }
  if (version >= 2 && version <= 5) {  // valid flags, then attrib
    if (pos + 8 > value.size()) return false;
    if (version != 2 && (ReadLittle(value, pos, 4) & 1) == 0) return false;
    *attributes = ReadLittle(value, pos + 4, 4);
    return true;
  }
  return false;
}

bool IsReadOnly(const struct stat& info) { return (info.st_mode & S_IWUSR) == 0; }

std::uint8_t ReadDosAttributes(const std::string& hostPath, const struct stat& info) {
  std::uint8_t attributes = S_ISDIR(info.st_mode) ? kAttrDirectory : kAttrArchive;
  char buffer[256];
  const ssize_t length = getxattr(hostPath.c_str(), kXattrName, buffer, sizeof buffer);
  std::uint32_t stored = 0;
  if (length > 0 &&
      ParseDosAttrib(std::string(buffer, static_cast<std::size_t>(length)), &stored)) {
    attributes = static_cast<std::uint8_t>(stored & 0xFF);
  }
  if (S_ISDIR(info.st_mode)) {
    // A folder's read-only flag lives in the extended attribute only (see WriteDosAttributes).
    return attributes | kAttrDirectory;
  }
  attributes &= static_cast<std::uint8_t>(~(kAttrReadOnly | kAttrDirectory));
  if (IsReadOnly(info)) attributes |= kAttrReadOnly;
  return attributes;
}

bool WriteDosAttributes(const std::string& hostPath, std::uint8_t attributes) {
  struct stat info;
  if (stat(hostPath.c_str(), &info) != 0) return false;
  mode_t mode = info.st_mode & 07777;
  if (S_ISDIR(info.st_mode)) {
    // Read-only on a Windows folder does not stop files being made in it, as removing the
    // write permission would; Wine leaves a folder's mode alone too.
  } else if (attributes & kAttrReadOnly) {
    mode &= static_cast<mode_t>(~0222);
  } else {
    mode |= S_IWUSR;
  }
  if (mode != (info.st_mode & 07777) && chmod(hostPath.c_str(), mode) != 0) return false;
  std::uint8_t stored = attributes & static_cast<std::uint8_t>(~kAttrDirectory);
  if (S_ISDIR(info.st_mode)) stored |= kAttrDirectory;
  char text[8];
  const int length = std::snprintf(text, sizeof text, "0x%x", stored);
  if (setxattr(hostPath.c_str(), kXattrName, text, static_cast<std::size_t>(length), 0) != 0) {
    // No user extended attributes here: the permission bits carry what they can.
    if (errno != ENOTSUP && errno != EOPNOTSUPP && errno != EPERM) return false;
  }
  return true;
}

void CopyDosAttrib(const std::string& fromPath, int toFd) {
  char buffer[256];
  const ssize_t length = getxattr(fromPath.c_str(), kXattrName, buffer, sizeof buffer);
  if (length > 0) fsetxattr(toFd, kXattrName, buffer, static_cast<std::size_t>(length), 0);
}

}  // namespace koushin::port::posix
