#pragma once
// Text from a job file or a field file shown in a message: short, and with no control
// character that a terminal might obey or that could break the message's line.

#include <cstddef>
#include <string>
#include <string_view>

namespace fenwix {

// Bytes of such text a message shows at most.
inline constexpr size_t EXCERPT_BYTES = 60;

// text cut to at most max_bytes without splitting a UTF-8 character, "..." marking the cut;
// control characters show as blanks.
std::string Excerpt(std::string_view text, size_t max_bytes = EXCERPT_BYTES);

// text whole, each control character but the line end written as a C escape ("\x1b", "\r",
// "\t"): messages shown on a terminal go through this, so that a name holding ESC, BEL or a
// carriage return is seen rather than obeyed. Line ends stay: they part a message's paragraphs.
std::string EscapeControls(std::string_view text);

}  // namespace fenwix
