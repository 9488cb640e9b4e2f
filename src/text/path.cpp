#include "text/path.h"

#include "text/cp932.h"

namespace koushin::text {

PathParts SplitPath(std::string_view path) {
  PathParts parts;
  std::string_view rest = path;
  if (rest.size() >= 2 && rest[1] == ':' && !IsLeadByte(static_cast<unsigned char>(rest[0]))) {
    parts.drive = std::string(rest.substr(0, 2));
    rest.remove_prefix(2);
  }
  const std::size_t sep = FindLastSeparator(rest);
  std::string_view file = rest;
  if (sep != std::string_view::npos) {
    parts.directory = std::string(rest.substr(0, sep + 1));
    file = rest.substr(sep + 1);
  }
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0; i < file.size(); i += CharLength(file, i)) {
    if (file[i] == '.' && CharLength(file, i) == 1) dot = i;
  }
  if (dot == std::string_view::npos) {
    parts.name = std::string(file);
  } else {
    parts.name = std::string(file.substr(0, dot));
    parts.extension = std::string(file.substr(dot));
  }
  return parts;
}

std::string SourceFolderFromProgramPath(std::string_view programPath) {
  const PathParts parts = SplitPath(programPath);
  return parts.drive + parts.directory;
}

std::string OneSeparator(std::string_view path) {
  const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
  std::string out;
  out.reserve(path.size());
  std::size_t i = 0;
  bool lastWasSeparator = false;
  // "\\\\server\\share": the leading pair is part of the name.
  if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    out.append(path.substr(0, 2));
    i = 2;
    lastWasSeparator = true;
  }
  while (i < path.size()) {
    const std::size_t length = CharLength(path, i);
    const bool separator = length == 1 && isSeparator(path[i]);
    if (!(separator && lastWasSeparator)) out.append(path.substr(i, length));
    lastWasSeparator = separator;
    i += length;
  }
  return out;
}

}  // namespace koushin::text
