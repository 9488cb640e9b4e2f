// The profile (INI) engine of the POSIX port: what GetPrivateProfileStringA and
// WritePrivateProfileStringA do to the bytes of a file, in code page 932, with no file system.
// profile.cpp puts it behind port::ProfileReadBuffer / ProfileRead / ProfileWrite.
//
// The model, shared by reading and writing:
// - The file is a sequence of lines ending at CR LF, LF or CR (the last line may have no end).
//   Those bytes are never trail bytes in code page 932, so lines are cut before anything else.
// - Inside a line, text is walked character by character: a lead byte (81-9F, E0-FC) followed by
//   a trail byte (40-7E, 80-FC) is one character, so the trail bytes '[' '\' ']' of ー ソ ゾ are
//   never taken for syntax. A lead byte followed by anything else is a lone byte.
// - Blanks are space and TAB.
// - A line whose first non-blank byte is '[' and that holds a ']' is a section header. The name
//   runs to the first ']' and is trimmed of blanks; what follows the ']' is ignored (our choice;
//   Wine takes the last ']'). A line with '[' but no ']' is an ordinary line, as Wine reads it.
// - Lines before the first header belong to no section and are never read or changed.
// - Any other line in a section is an entry. An entry with '=' is a key: the name before the first
//   '=', the value after it, both trimmed of blanks; a value enclosed in matching single or double
//   quotes reads without them. An entry without '=' is no key: it is never found, never listed and
//   never changed (Windows does not list such lines; that it does not find them either is what
//   Wine does, and what agrees with the listing).
// - Names match case-insensitively: ASCII letters, and (our choice: Windows compares the names in
//   Unicode, where these are case pairs too; Wine does not fold them) the full-width Latin, Greek
//   and Cyrillic letters of code page 932. Other characters match byte for byte.
// - Only the first section with a matching name is used, and in it only the first matching key.
// - ';' has no meaning for finding a key (as under Wine), so ";x=1" is the key ";x"; but key
//   lists leave such keys out (as Wine does; Windows is not known). For placing and deleting
//   (below) a line whose first non-blank byte is ';' is a comment.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace koushin::port::posix {

// What a read into a buffer of `size` bytes leaves there.
struct ProfileBuffer {
  std::string bytes;      // the bytes stored from the buffer's start; never more than `size`
  std::size_t count = 0;  // the count GetPrivateProfileStringA returns
};

// GetPrivateProfileStringA over the bytes of a file; `file` null means the file does not exist.
// - section and key given: the value, cut to at most size-1 bytes (one less when the cut would
//   fall inside a double-byte character), and a NUL; the count is its length.
// - the default (null counts as ""), without its trailing spaces, in the same way, when the file,
//   the section or the key is missing.
// - section null: the list of section names; key null: the list of key names (with '=') of the
//   section. Each name ends with a NUL and the list with one more. When the list and its final
//   NUL do not fit with a byte to spare, the list is cut after size-2 bytes, ended by two NULs,
//   and the count is size-2. (Windows does this for section names, "exact fit" included; that key
//   lists follow the same rule is our choice.) A name is not cut inside a double-byte character:
//   the lead byte becomes a NUL. Empty names are left out, since they would end the list early.
//   A name that occurs twice is listed twice, as Wine lists it.
// - size 0: nothing is stored and the count is 0.
// A missing file gives the default, and so does a section without keys for the key list; the
// section list of a missing file or of a file without sections is empty: a single NUL, count 0
// (Windows' documented answer for a missing file; the rest is Wine's behaviour, checked by the
// differential test).
ProfileBuffer ReadProfileBuffer(const std::string* file, const char* section, const char* key,
                                const char* defaultValue, std::size_t size);

// A whole value with no length limit, or the default without its trailing spaces.
std::string ReadProfileValue(const std::string* file, std::string_view section,
                             std::string_view key, std::string_view defaultValue);

// The default as Windows returns it: trailing spaces removed (spaces only, not TABs).
std::string TrimDefault(std::string_view defaultValue);

// WritePrivateProfileStringA on the bytes of a file (empty for a missing one). Returns true and
// sets *updated to the new bytes when the file changes; false when it stays as it is (then
// *updated is not touched). `section` null changes nothing (the caller reports the failure).
// Every byte outside the changed lines stays: comments, blank lines, spacing, line ends, NULs.
// - key and value: the key's line becomes "name=value", keeping the name as the file spells it
//   and the line's own line end (our choice: Windows is not known to keep either). When the key
//   already reads as `value`, nothing changes, so its spacing and quotes stay (our choice).
//   A new key becomes "key=value" CR LF directly after the last entry of the section; comments
//   and blank lines that end the section stay after it, since they usually introduce what
//   follows (our choice). A section without entries gets it directly after its header.
//   A new section goes at the end: "[section]" CR LF "key=value" CR LF, with a CR LF before it
//   when the file does not end with a line break.
// - value null: the key's line goes; nothing changes when there is no such key.
// - key null: the section's header goes, with every line up to its last entry; comments and blank
//   lines that end it stay, as they do for a new key (our choice).
// Names and values are written as given; a value holding a line break would start a new line.
bool WriteProfile(std::string_view file, const char* section, const char* key, const char* value,
                  std::string* updated);

}  // namespace koushin::port::posix
