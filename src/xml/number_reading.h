#pragma once
// Lenient reading of the numbers in element text.

#include <cstdint>
#include <string_view>

namespace fenwix {

// What was wrong with a number's text, if anything; the value is read all the same.
enum class NumberFault : uint8_t {
  None,
  Empty,         // nothing but blanks
  DecimalComma,  // digits, one comma, digits and nothing more: read with the comma as the point
  TrailingText,  // text after the number, or no number at all
  OutOfRange,    // beyond the range of a double: read as 0
};

struct NumberText {
  double value = 0.0;
  NumberFault fault = NumberFault::None;
};

// The value of the longest decimal number at the start of text, after leading white space:
// optional sign, digits with an optional point and fraction, optional exponent. The point is
// always the decimal separator, whatever the locale. A text without such a prefix reads as 0,
// and so do "nan", "inf" and hexadecimal forms (they are not decimal numbers) and a number beyond
// the range of a double, so the result is always finite. A number written with one decimal comma
// and no point ("626,879881") reads as the decimal number it is; any other comma ends the number.
double ReadNumber(std::string_view text);

// What a number field holds, for the range a survey's values lie in.
enum class FieldRange : uint8_t {
  Any,     // no range of its own
  Length,  // a distance, a height or a coordinate difference, in the file's unit
  Angle,   // an angle as written: packed degrees or gons
  Sd,      // a standard deviation; 0 stands for none given
};
// Beyond these a value is no measurement, and its digits or its square would overflow the
// fields it is written in.
inline constexpr double MAX_LENGTH_VALUE = 1e9;
inline constexpr double MAX_ANGLE_VALUE = 1e6;
inline constexpr double MIN_SD_VALUE = 1e-9;
inline constexpr double MAX_SD_VALUE = 1e6;
// Whether value lies in the range of its field (limits included); false for a value that is
// not finite.
bool InFieldRange(double value, FieldRange range);
// The same value, and what the text had beyond a number (blanks around it are no fault).
NumberText ReadNumberText(std::string_view text);

}  // namespace fenwix
