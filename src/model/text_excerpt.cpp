#include "model/text_excerpt.h"

#include <cstdio>

namespace fenwix {

void AppendShown(std::string& out, char c, LineEnds line_ends) {
  const auto byte = static_cast<unsigned char>(c);
  if (c == '\n') {
    out += line_ends == LineEnds::Keep ? "\n" : "\\n";
  } else if (c == '\t') {
    out += "\\t";
  } else if (c == '\r') {
    out += "\\r";
  } else if (byte < 0x20 || byte == 0x7f) {
    char code[5];
    std::snprintf(code, sizeof code, "\\x%02x", byte);
    out += code;
  } else {
    out += c;
  }
}

std::string EscapeControls(std::string_view text, LineEnds line_ends) {
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) AppendShown(shown, c, line_ends);
  return shown;
}

std::string Excerpt(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return EscapeControls(text, LineEnds::Escape);
  size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return EscapeControls(text.substr(0, end), LineEnds::Escape) + "...";
}

}  // namespace fenwix
