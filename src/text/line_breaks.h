// The TAB-for-line-break convention of the texts in info.txt.
#pragma once

#include <string>

namespace koushin::text {

// A line of info.txt cannot hold a line break, so a TAB stands for one. For at most the first 100
// TABs: the TAB becomes CR and the byte after it is overwritten by LF (the text keeps its length,
// so that byte is lost). A TAB that is the last byte becomes CR alone. Later TABs stay.
void ConvertTabsToLineBreaks(std::string& text);

}  // namespace koushin::text
