#pragma once
// Fixed-point text of a double with a given number of decimals, exactly as C printf's "%.Nf"
// writes it in the C locale: the exact binary value rounded half to even, "-" on every negative
// value (also when it rounds to zero), "." as the decimal point, never a thousands separator.
// The record writers format many thousands of numbers; this keeps that cost small.

#include <fmt/format.h>

namespace fenwix {

// Decimals up to which the fast exact path applies; more go through {fmt}.
inline constexpr int MAX_FAST_DECIMALS = 12;

void AppendFixed(fmt::memory_buffer& text, double value, int decimals);

}  // namespace fenwix
