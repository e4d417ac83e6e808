#include "model/reading_warnings.h"

#include <utility>

#include "model/text_excerpt.h"

namespace fenwix {

std::string WarningNote(const ReadingWarning& warning) {
  std::string note = warning.element;
  if (!warning.text.empty()) note += " \"" + warning.text + "\"";
  note += " " + warning.problem + ": " + warning.assumed + ".";
  if (!warning.advice.empty()) note += " " + warning.advice + ".";
  return note;
}

std::string WarningLine(const ReadingWarning& warning, const std::vector<std::string>& files) {
  if (warning.source.line <= 0) return WarningNote(warning);
  const auto file = static_cast<size_t>(warning.source.file);
  const std::string name = file < files.size() ? files[file] : std::string();
  return name + ":" + std::to_string(warning.source.line) + ": " + WarningNote(warning);
}

void ReadingWarnings::Clear() {
  kept_.clear();
  count_ = 0;
  kind_counts_ = {};
  misread_recorded_ = false;
  file_ = 0;
}

void ReadingWarnings::Add(int32_t line, std::string_view element, std::string_view text,
                          std::string problem, std::string assumed, std::string advice) {
  ReadingWarning warning;
  warning.source = SourceLocation{file_, line};
  warning.element = element;
  warning.text = text;
  warning.problem = std::move(problem);
  warning.assumed = std::move(assumed);
  warning.advice = std::move(advice);
  Add(std::move(warning));
}

void ReadingWarnings::Add(ReadingWarning warning) {
  CountUnkept(warning.kind);
  if (kept_.size() >= MAX_KEPT) return;
  warning.text = Excerpt(warning.text, MAX_TEXT_BYTES);
  kept_.push_back(std::move(warning));
}

}  // namespace fenwix
