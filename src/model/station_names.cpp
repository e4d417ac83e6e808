#include "model/station_names.h"

#include "model/text_excerpt.h"

namespace fenwix {

namespace {

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

bool IsBlankOrControl(char c) {
  return c == ' ' || IsControl(c);
}

}  // namespace

NameFault StationNameFault(std::string_view name) {
  bool separator = false;
  bool control = false;
  bool blank = true;
  for (const char c : name) {
    separator = separator || c == ';';
    control = control || IsControl(c);
    blank = blank && IsBlankOrControl(c);
  }
  // A blank element followed by indentation is blank whatever line ends it holds.
  if (!name.empty() && blank) return NameFault::Blank;
  if (separator) return NameFault::Separator;
  if (control) return NameFault::Control;
  return NameFault::None;
}

std::string_view NameFaultText(NameFault fault) {
  switch (fault) {
    case NameFault::Separator:
      return "holds the record separator \";\"";
    case NameFault::Control:
      return "holds a control character";
    case NameFault::Blank:
      return "is nothing but blanks";
    case NameFault::None:
      break;
  }
  return {};
}

std::string VisibleName(std::string_view name, size_t max_bytes) {
  std::string shown;
  size_t i = 0;
  for (; i < name.size() && shown.size() < max_bytes; ++i) {
    AppendShown(shown, name[i], LineEnds::Escape);
  }
  if (i == name.size()) return shown;
  // Never end inside a UTF-8 character.
  while (!shown.empty() && (static_cast<unsigned char>(shown.back()) & 0xC0) == 0x80) {
    shown.pop_back();
  }
  if (!shown.empty() && (static_cast<unsigned char>(shown.back()) & 0xC0) == 0xC0) {
    shown.pop_back();
  }
  return shown + "...";
}

std::string ReplacedName(std::string_view name) {
  std::string written(name);
  for (char& c : written) {
    if (c == ';' || IsControl(c)) c = NAME_REPLACEMENT;
  }
  for (size_t i = 0; i < written.size() && written[i] == ' '; ++i) written[i] = NAME_REPLACEMENT;
  for (size_t i = written.size(); i > 0 && written[i - 1] == ' '; --i) {
    written[i - 1] = NAME_REPLACEMENT;
  }
  return written;
}

void NameReplacements::Clear() {
  replacements_.clear();
  by_read_.clear();
  written_.clear();
  clash_.reset();
}

const NameReplacement* NameReplacements::WrittenAs(std::string_view name) const {
  if (written_.count(std::string(name)) == 0) return nullptr;
  for (const NameReplacement& replacement : replacements_) {
    if (replacement.written == name) return &replacement;
  }
  return nullptr;
}

const std::string& NameReplacements::Add(std::string_view read, std::string written,
                                         SourceLocation source) {
  by_read_.emplace(std::string(read), replacements_.size());
  written_.insert(written);
  NameFault fault = StationNameFault(read);
  replacements_.push_back(NameReplacement{std::string(read), std::move(written), fault, source});
  return replacements_.back().written;
}

}  // namespace fenwix
