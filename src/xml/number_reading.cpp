#include "xml/number_reading.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

namespace fenwix {

namespace {

// Largest integer below which every integer is exactly a double (2^53).
constexpr uint64_t EXACT_INTEGER_LIMIT = 9007199254740992u;
// Digits that always fit in a uint64_t without overflow.
constexpr int MAX_SAFE_DIGITS = 19;
// Powers of ten that are exactly doubles (10^0 to 10^22).
constexpr double EXACT_POWERS_OF_TEN[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int MAX_EXACT_POWER = 22;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// What follows the number read: nothing but blanks, or other text.
NumberFault FaultAfter(const char* p, const char* end, bool had_digits) {
  const char* rest = p;
  while (rest < end && IsSpace(*rest)) ++rest;
  if (rest == end) return had_digits ? NumberFault::None : NumberFault::Empty;
  return NumberFault::TrailingText;
}

// Whether p, just past the integer digits of a number without a point, starts a decimal comma:
// a comma, digits, then nothing but blanks. "1,234,567" or "1,5 m" are not read that way.
bool IsDecimalComma(const char* p, const char* end) {
  if (p == end || *p != ',') return false;
  const char* q = p + 1;
  const char* const digits = q;
  while (q < end && IsDigit(*q)) ++q;
  if (q == digits) return false;
  while (q < end && IsSpace(*q)) ++q;
  return q == end;
}

}  // namespace

bool InFieldRange(double value, FieldRange range) {
  if (!std::isfinite(value)) return false;
  const double size = std::fabs(value);
  switch (range) {
    case FieldRange::Any:
      return true;
    case FieldRange::Length:
      return size <= MAX_LENGTH_VALUE;
    case FieldRange::Angle:
      return size <= MAX_ANGLE_VALUE;
    case FieldRange::Sd:
      return value == 0.0 || (size >= MIN_SD_VALUE && size <= MAX_SD_VALUE);
  }
  return true;
}

double ReadNumber(std::string_view text) {
  return ReadNumberText(text).value;
}

// The shape of nearly every field: an optional minus, then digits with at most one point among
// them and nothing else. Read in one pass when there are at most SHORT_DIGITS digits: they and
// the power of ten of the decimals are then exact doubles, and their quotient (one rounding) is
// the correctly rounded value. Anything else is left to the general reading (false).
#if FLT_EVAL_METHOD == 0
namespace {

constexpr int SHORT_DIGITS = 15;

bool ReadShortNumber(std::string_view text, double& value) {
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  uint64_t digits = 0;
  int count = 0;
  int point = -1;  // digits before the point, once there is one
  for (; p < end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit < 10) {
      digits = digits * 10 + digit;
      if (++count > SHORT_DIGITS) return false;
    } else if (*p == '.' && point < 0) {
      point = count;
    } else {
      return false;
    }
  }
  if (count == 0) return false;
  const double magnitude =
      static_cast<double>(digits) / EXACT_POWERS_OF_TEN[point < 0 ? 0 : count - point];
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace
#endif

NumberText ReadNumberText(std::string_view text) {
#if FLT_EVAL_METHOD == 0
  if (double value = 0.0; ReadShortNumber(text, value)) return {value, NumberFault::None};
#endif
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end && IsSpace(*p)) ++p;

  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  // The prefix is scanned here rather than left to from_chars, which would also take "inf",
  // "nan" and, in some libraries, a leading "0x". The digits are gathered on the way for the
  // short cut below.
  const char* const first = p;
  uint64_t digits = 0;
  int digit_count = 0;
  int fraction_digits = 0;
  while (p < end && IsDigit(*p)) {
    digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    ++digit_count;
    ++p;
  }
  if (digit_count > 0 && IsDecimalComma(p, end)) {
    // The same text with a point in place of the comma; the comma is kept as the fault.
    std::string pointed(text);
    pointed[static_cast<size_t>(p - text.data())] = '.';
    NumberText read = ReadNumberText(pointed);
    read.fault = read.fault == NumberFault::None ? NumberFault::DecimalComma : read.fault;
    return read;
  }
  if (p < end && *p == '.') {
    ++p;
    const char* const fraction = p;
    while (p < end && IsDigit(*p)) {
      digits = digits * 10 + static_cast<uint64_t>(*p - '0');
      ++p;
    }
    fraction_digits = static_cast<int>(p - fraction);
    digit_count += fraction_digits;
  }
  if (digit_count == 0) return {0.0, FaultAfter(p, end, false)};
  const char* last = p;
  bool has_exponent = false;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q < end && (*q == '+' || *q == '-')) ++q;
    const char* const exponent_digits = q;
    while (q < end && IsDigit(*q)) ++q;
    // "1e" or "1e+" ends the number before the 'e'.
    if (q > exponent_digits) {
      last = q;
      has_exponent = true;
    }
  }

  double value = 0.0;
#if FLT_EVAL_METHOD == 0
  // Most field values have few digits and no exponent: the digits and the power of ten are then
  // both exact doubles, and one division rounds their quotient correctly, to the very double
  // that from_chars gives.
  if (!has_exponent && digit_count <= MAX_SAFE_DIGITS && digits <= EXACT_INTEGER_LIMIT &&
      fraction_digits <= MAX_EXACT_POWER) {
    value = static_cast<double>(digits) / EXACT_POWERS_OF_TEN[fraction_digits];
    return {negative ? -value : value, FaultAfter(last, end, true)};
  }
#endif
  const auto [stop, error] = std::from_chars(first, last, value, std::chars_format::general);
  // Overflow and underflow both come back as result_out_of_range: beyond a double's range the
  // text has no usable value, and below it 0 is the nearest one.
  if (error != std::errc() || stop != last || !std::isfinite(value)) {
    return {0.0, NumberFault::OutOfRange};
  }
  return {negative ? -value : value, FaultAfter(last, end, true)};
}

}  // namespace fenwix
