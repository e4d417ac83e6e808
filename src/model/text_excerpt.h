#pragma once
// Text from a job file or a field file shown in a message or a report: short where asked, and
// with no control character that a terminal might obey or that could break a line.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fenwix {

// Bytes of such text a message shows at most.
inline constexpr size_t EXCERPT_BYTES = 60;

// Whether EscapeControls leaves line ends as they are.
enum class LineEnds : uint8_t { Keep, Escape };

// Appends c to out, as a C escape when it is a control character (see EscapeControls).
void AppendShown(std::string& out, char c, LineEnds line_ends);

// text whole, each control character written as a C escape ("\x1b", "\r", "\t", "\x7f"), so
// that a name holding ESC, BEL or a carriage return is seen rather than obeyed. Line ends stay
// when kept (they part a message's paragraphs), else show as "\n" (a value on one line of a
// listing). Text without control characters comes back byte for byte.
std::string EscapeControls(std::string_view text, LineEnds line_ends = LineEnds::Keep);

// text cut to at most max_bytes without splitting a UTF-8 character, "..." marking the cut;
// control characters, line ends included, show escaped as by EscapeControls (the cut counts
// the bytes before they are escaped).
std::string Excerpt(std::string_view text, size_t max_bytes = EXCERPT_BYTES);

}  // namespace fenwix
