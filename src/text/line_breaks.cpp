#include "text/line_breaks.h"

namespace koushin::text {

void ConvertTabsToLineBreaks(std::string& text) {
  std::size_t pos = 0;
  for (int n = 0; n < 100; ++n) {
    pos = text.find('\t', pos);
    if (pos == std::string::npos) return;
    text[pos] = '\r';
    if (pos + 1 < text.size()) text[pos + 1] = '\n';
    pos += 1;
  }
}

}  // namespace koushin::text
