#pragma once
// The units a station or an observation can be written in. Values inside the program are always
// meters and radians; a unit only says how a value was given or is to be written.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace fenwix {

// The numbers are those the records have always carried; nothing stores them.
enum class LinearUnit : uint8_t { InternationalFoot = 0, Meter = 1, UsFoot = 2 };
// Degrees are written packed as DD.MMSSsssss.
enum class AngleUnit : uint8_t { Degrees = 10, Gons = 11 };

// The words a person names a job's units by, on the command line and in the program settings;
// the first of each list is the default.
template <typename Unit>
struct UnitWord {
  Unit unit;
  std::string_view word;
};
inline constexpr UnitWord<AngleUnit> ANGLE_UNIT_WORDS[] = {{AngleUnit::Degrees, "dms"},
                                                           {AngleUnit::Gons, "gon"}};
inline constexpr UnitWord<LinearUnit> LINEAR_UNIT_WORDS[] = {
    {LinearUnit::Meter, "m"}, {LinearUnit::UsFoot, "usft"}, {LinearUnit::InternationalFoot, "ft"}};

// The unit among words that word names; none for any other word.
template <typename Unit, size_t N>
constexpr std::optional<Unit> UnitOfWord(const UnitWord<Unit> (&words)[N], std::string_view word) {
  for (const UnitWord<Unit>& named : words) {
    if (named.word == word) return named.unit;
  }
  return std::nullopt;
}

}  // namespace fenwix
