#pragma once
// Station names as a record of the adjustment file can carry them. A record is split at its
// delimiter ";" and each field is read without the blanks around it, so a name holding ";"
// gives the record a field too many, a control character (a line end) breaks the record, and a
// name of nothing but blanks leaves a station field empty.
//
// A rename must give a name that a record carries. A name read from a field file is evidence
// and cannot be refused: it is written under a name of its own, NAME_REPLACEMENT in place of
// each character a record cannot carry, and the reading says so.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/source_location.h"

namespace fenwix {

// What keeps a name out of a record field.
enum class NameFault : uint8_t { None, Separator, Control, Blank };

// Stands for ";", a control character, and a blank at either end of a name that has a fault:
// printable ASCII that every adjustment program takes in a station name, with no meaning in a
// record, and already the usual stand-in for a space in point names; the name keeps its length
// and the place of its parts, so the person still recognises it.
inline constexpr char NAME_REPLACEMENT = '_';

// The fault of a name; None for a name a record carries as it stands, and for the empty name
// (which names no station).
NameFault StationNameFault(std::string_view name);

// The fault in words: "holds the record separator \";\"", "holds a control character", "is
// nothing but blanks".
std::string_view NameFaultText(NameFault fault);

// A name as a message shows it: control characters as \t, \n, \r or \xnn, cut to max_bytes
// (at a whole UTF-8 character) with "..." after it.
std::string VisibleName(std::string_view name, size_t max_bytes = 40);

// The name written for a name with a fault: NAME_REPLACEMENT in place of every ";" and control
// character, and of the blanks at either end (a blank name becomes as many NAME_REPLACEMENTs).
std::string ReplacedName(std::string_view name);

// A name of a field file written under another name.
struct NameReplacement {
  std::string read;     // as the field file has it
  std::string written;  // as the tables and the adjustment file have it
  NameFault fault = NameFault::None;
  SourceLocation source;  // where it was first read
};

// The replacements of one conversion. Each name with a fault gets one written name, the same in
// every field file, distinct from every other station's: ReplacedName, or with "_2", "_3", ...
// after it when a station or another replacement already has that name. A name read as it stands
// after a replacement took it (a later line naming "P9_B1" beside "P9;B1") is a clash: the two
// stations would become one, so the conversion is refused with both places named.
class NameReplacements {
 public:
  void Clear();
  bool empty() const { return replacements_.empty(); }

  // The written name for `read` (a name with a fault) first seen at source; taken says whether a
  // station already has a name. `first` is set when this name was not seen before. The reference
  // holds until the next Replace.
  template <typename Taken>
  const std::string& Replace(std::string_view read, SourceLocation source, const Taken& taken,
                             bool& first) {
    const auto found = by_read_.find(std::string(read));
    first = found == by_read_.end();
    if (!first) return replacements_[found->second].written;
    std::string written = ReplacedName(read);
    const std::string base = written;
    for (int suffix = 2; taken(written) || written_.count(written) > 0; ++suffix) {
      written = base + "_" + std::to_string(suffix);
    }
    return Add(read, std::move(written), source);
  }

  // A name read as it stands: noted as a clash when a replacement was given the same name.
  void ReadAsItStands(std::string_view name, SourceLocation source) {
    if (!written_.empty() && !clash_ && written_.count(std::string(name)) > 0) {
      clash_ = Clash{std::string(name), source};
    }
  }

  struct Clash {
    std::string name;
    SourceLocation source;
  };
  // The first clash of the reading, if any.
  const Clash* clash() const { return clash_ ? &*clash_ : nullptr; }
  // The replacement written under `name`, or null.
  const NameReplacement* WrittenAs(std::string_view name) const;
  // In the order first read.
  const std::vector<NameReplacement>& replacements() const { return replacements_; }

 private:
  const std::string& Add(std::string_view read, std::string written, SourceLocation source);

  std::vector<NameReplacement> replacements_;
  std::unordered_map<std::string, size_t> by_read_;
  std::unordered_set<std::string> written_;
  std::optional<Clash> clash_;
};

}  // namespace fenwix
