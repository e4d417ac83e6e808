#include "model/text_excerpt.h"

#include <cstdio>

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

std::string EscapeControls(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      shown += c;
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (byte < 0x20 || byte == 0x7f) {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02x", byte);
      shown += code;
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace fenwix
