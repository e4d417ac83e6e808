#include "xml/number_reading.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace fenwix {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

double ReadNumber(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end && IsSpace(*p)) ++p;

  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // The prefix is scanned here rather than left to from_chars, which would also take "inf",
  // "nan" and, in some libraries, a leading "0x".
  const char* const first = p;
  bool has_digits = false;
  while (p < end && IsDigit(*p)) {
    ++p;
    has_digits = true;
  }
  if (p < end && *p == '.') {
    ++p;
    while (p < end && IsDigit(*p)) {
      ++p;
      has_digits = true;
    }
  }
  if (!has_digits) return 0.0;
  const char* last = p;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q < end && (*q == '+' || *q == '-')) ++q;
    const char* const exponent_digits = q;
    while (q < end && IsDigit(*q)) ++q;
    // "1e" or "1e+" ends the number before the 'e'.
    if (q > exponent_digits) last = q;
  }

  double value = 0.0;
  const auto [stop, error] = std::from_chars(first, last, value, std::chars_format::general);
  // Overflow and underflow both come back as result_out_of_range: beyond a double's range the
  // text has no usable value, and below it 0 is the nearest one.
  if (error != std::errc() || stop != last || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

}  // namespace fenwix
