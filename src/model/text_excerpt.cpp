#include "model/text_excerpt.h"

namespace fenwix {

std::string Excerpt(std::string_view text, size_t max_bytes) {
  std::string shown;
  if (text.size() <= max_bytes) {
    shown = text;
  } else {
    size_t end = max_bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    shown = std::string(text.substr(0, end)) + "...";
  }
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return shown;
}

}  // namespace fenwix
