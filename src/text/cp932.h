// Code page 932 (Shift-JIS) byte-string helpers.
//
// Every text from the media or the installation is a byte string in code page 932. A double-byte
// character is a lead byte (0x81-0x9F, 0xE0-0xFC) followed by a trail byte (0x40-0xFC), and the
// trail byte may be '\\' (0x5C), '[' , ']' or an ASCII letter. Every function here walks the text
// character by character so that it never mistakes a trail byte for one of those.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace koushin::text {

// True for the bytes that start a double-byte character.
bool IsLeadByte(unsigned char byte);

// Length in bytes (1 or 2) of the character that starts at `pos`. A lead byte at the very end of
// the text is a lone byte of length 1. `pos` must be < text.size().
std::size_t CharLength(std::string_view text, std::size_t pos);

// True when `pos` is the start of a character (or the end of the text).
bool IsCharBoundary(std::string_view text, std::size_t pos);

// Upper-cases by the code page's rules: ASCII a-z become A-Z, and the double-byte small letters
// that have a capital in the code page become it: full-width Latin (0x8281-0x829A to
// 0x8260-0x8279), Greek (0x83BF-0x83D6 to 0x839F-0x83B6) and Cyrillic (0x8470-0x8491 to
// 0x8440-0x8460). Half-width katakana, every other double-byte character and every trail byte
// stay as they are.
std::string ToUpper(std::string_view text);

// True when the last character of the text is a single-byte '\\' (not the trail byte of a
// double-byte character such as ソ 0x83 0x5C).
bool EndsWithBackslash(std::string_view text);

// Position of the last single-byte '\\' or '/', or npos.
std::size_t FindLastSeparator(std::string_view text);

// First occurrence of `needle` in `haystack` that starts at a character boundary, at or after
// `from`; npos when there is none. An empty needle is found at `from`.
std::size_t FindAtCharBoundary(std::string_view haystack, std::string_view needle,
                               std::size_t from = 0);

}  // namespace koushin::text
