#pragma once
// Fixed-point text of a double with a given number of decimals, exactly as C printf's "%.Nf"
// writes it in the C locale: the exact binary value rounded half to even, "-" on every negative
// value (also when it rounds to zero), "." as the decimal point, never a thousands separator.
// The record writers format many thousands of numbers; this keeps that cost small.

#include <cstring>
#include <string_view>

#include <fmt/format.h>

namespace fenwix {

// Decimals up to which the fast exact path applies; more go through {fmt}.
inline constexpr int MAX_FAST_DECIMALS = 12;

void AppendFixed(fmt::memory_buffer& text, double value, int decimals);

// Largest magnitude a record field is written with. The reader refuses any length, angle or SD
// that could come near it once converted or squared; past it a value is a fault, and its digits
// (up to 309 of them) are no field of a record.
inline constexpr double MAX_FIELD_MAGNITUDE = 1e15;
// Whether value can be written as a record field: finite and within MAX_FIELD_MAGNITUDE.
bool IsWritableField(double value);

// Appends bytes to a record line: one resize and one copy, which for the short pieces a record
// is made of costs less than the buffer's general append.
inline void AppendBytes(fmt::memory_buffer& text, std::string_view bytes) {
  if (bytes.empty()) return;
  const size_t used = text.size();
  text.resize(used + bytes.size());
  std::memcpy(text.data() + used, bytes.data(), bytes.size());
}

}  // namespace fenwix
