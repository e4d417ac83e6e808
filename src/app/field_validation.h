#pragma once
// The rules by which the dialog's fields (and the command-line options that mirror them) are
// read into numbers, with the messages shown when a field is refused.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/status.h"

namespace fenwix {

// Longest seed station name, in characters.
inline constexpr size_t SEED_NAME_MAX_CHARS = 15;

struct NumberRange {
  double low;
  double high;
};

inline constexpr NumberRange LATITUDE_RANGE{-89.0, 89.0};
inline constexpr NumberRange LONGITUDE_RANGE{-180.0, 180.0};
inline constexpr NumberRange HEIGHT_RANGE{-99999.0, 99999.0};
inline constexpr NumberRange TOLERANCE_RANGE{0.0, 99999.0};
// The seed's local north and east, meters. No grid on the earth reaches past half its
// circumference (about 2e7 m) from its origin, false origins included; a wider value is a typing
// slip, and 1e308 would fill a record with a 309-digit coordinate.
inline constexpr NumberRange GRID_RANGE{-99999999.0, 99999999.0};
// The seed's local elevation, meters: the bounds of the ellipsoidal height.
inline constexpr NumberRange ELEVATION_RANGE = HEIGHT_RANGE;

// The number rule: the whole text is read (a cut after a fixed count of characters would turn
// "      45" padded to the right into 4 without a word); blanks and tabs skipped, the longest
// decimal prefix (sign, digits, point, exponent) taken, only blanks and tabs after it; a zero is
// accepted only when the text starts with the digit 0. Empty when the text breaks the rule.
std::optional<double> ParseNumberField(std::string_view text);

// The checks of a field refuse it with a Status whose text asks for what the field takes.

// Reads a number field, with its range when given; value is set only when the field passes.
Status ReadNumberField(std::string_view text, double& value,
                       const std::optional<NumberRange>& range);
// Refuses a packed DD.MMSSsssss angle whose minutes or seconds are 60 or more (45.75 is not
// 46 degrees 15 minutes).
Status CheckPackedAngle(double packed);
// Refuses an ellipsoid that cannot carry approximate coordinates: a name that is empty, a
// semi-major axis outside DATUM_A_MIN..DATUM_A_MAX meters or an inverse flattening outside
// DATUM_INV_F_MIN..DATUM_INV_F_MAX. The text says which value and its bounds.
Status CheckDatum(std::string_view name, double a, double inv_f);
// Refuses a seed name longer than 15 characters (UTF-8 characters, not bytes).
Status CheckSeedName(std::string_view name);

// A number as the dialog shows it: up to 15 significant digits in shortest form.
std::string FormatFieldNumber(double value);

// Number of UTF-8 characters in text.
size_t Utf8Length(std::string_view text);

// Leading and trailing white space removed.
std::string TrimWhiteSpace(std::string_view text);
// File names as a conversion uses them: each trimmed, blank ones left out.
std::vector<std::string> TrimmedFileNames(const std::vector<std::string>& names);

}  // namespace fenwix
