#pragma once
// Lenient reading of the numbers in element text.

#include <string_view>

namespace fenwix {

// The value of the longest decimal number at the start of text, after leading white space:
// optional sign, digits with an optional point and fraction, optional exponent. The point is
// always the decimal separator, whatever the locale. A text without such a prefix reads as 0,
// and so do "nan", "inf" and hexadecimal forms (they are not decimal numbers) and a number beyond
// the range of a double, so the result is always finite.
double ReadNumber(std::string_view text);

}  // namespace fenwix
