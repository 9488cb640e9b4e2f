// Scripts of profile calls for the differential test against Wine: the same script runs through
// our engine (profile_script_tool) and through Windows' own functions under Wine
// (wine_profile_tool.exe), and the two transcripts and resulting files must be equal.
//
// One command a line, fields separated by TAB; '#' starts a comment line. In a field, "<null>" is
// a null pointer, and \r \n \t \\ \xHH stand for those bytes (so code page 932 stays ASCII here).
//   file  NAME                          later commands use this file in the work folder; any
//                                       file of that name is deleted first
//   init  BYTES                         writes the file with these bytes
//   write SECTION KEY VALUE             WritePrivateProfileStringA; prints "write RESULT"
//   read  SECTION KEY DEFAULT SIZE      GetPrivateProfileStringA into a buffer prefilled with
//                                       0xCC; prints "read COUNT HEX" with the buffer's first
//                                       min(SIZE, COUNT + 2) bytes
// Uses only the standard library, so the Win32 tool can share it without the POSIX port.
#pragma once

#include <string>

namespace koushin::profile_script {

// The profile functions a tool runs scripts through, and how it names files.
struct Backend {
  const char* toolName;  // for messages
  char separator;        // between the work folder and a file name
  void (*removeFile)(const std::string& path);
  void (*writeFile)(const std::string& path, const std::string& bytes);
  bool (*write)(const char* section, const char* key, const char* value, const std::string& file);
  unsigned long (*read)(const char* section, const char* key, const char* defaultValue,
                        char* buffer, unsigned long size, const std::string& file);
};

// The whole of a tool's main: `TOOL SCRIPT FOLDER` runs the script on files in FOLDER through
// `backend` and prints the transcript on standard output. Returns the exit status (2 on misuse or
// a malformed script).
int RunTool(int argc, char** argv, const Backend& backend);

}  // namespace koushin::profile_script
