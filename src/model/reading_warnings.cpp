#include "model/reading_warnings.h"

#include <utility>

namespace fenwix {

namespace {

// text cut to at most max_bytes without splitting a UTF-8 character, "..." marking the cut.
// Control characters, which a terminal might obey, show as blanks.
std::string Shown(std::string_view text, size_t max_bytes) {
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

}  // namespace

std::string WarningNote(const ReadingWarning& warning) {
  std::string note = warning.element;
  if (!warning.text.empty()) note += " \"" + warning.text + "\"";
  note += " " + warning.problem + ": " + warning.assumed + ".";
  if (!warning.advice.empty()) note += " " + warning.advice + ".";
  return note;
}

std::string WarningLine(const ReadingWarning& warning, const std::vector<std::string>& files) {
  const auto file = static_cast<size_t>(warning.source.file);
  const std::string name = file < files.size() ? files[file] : std::string();
  return name + ":" + std::to_string(warning.source.line) + ": " + WarningNote(warning);
}

void ReadingWarnings::Clear() {
  kept_.clear();
  count_ = 0;
  file_ = 0;
}

void ReadingWarnings::Add(int32_t line, std::string_view element, std::string_view text,
                          std::string problem, std::string assumed, std::string advice) {
  ++count_;
  if (kept_.size() >= MAX_KEPT) return;
  kept_.push_back(ReadingWarning{SourceLocation{file_, line}, std::string(element),
                                 Shown(text, MAX_TEXT_BYTES), std::move(problem),
                                 std::move(assumed), std::move(advice)});
}

}  // namespace fenwix
