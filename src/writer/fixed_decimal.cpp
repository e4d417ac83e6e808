#include "writer/fixed_decimal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>

namespace fenwix {

namespace {

// A GCC and Clang extension; __extension__ keeps -Wpedantic quiet about it.
__extension__ typedef unsigned __int128 uint128;

// Powers of ten up to 10^15: the scales of the decimals and the bounds of the digit counts of a
// whole part.
constexpr uint64_t POWERS_OF_TEN[] = {1,
                                      10,
                                      100,
                                      1000,
                                      10000,
                                      100000,
                                      1000000,
                                      10000000,
                                      100000000,
                                      1000000000,
                                      10000000000,
                                      100000000000,
                                      1000000000000,
                                      10000000000000,
                                      100000000000000,
                                      1000000000000000};

// "00" to "99", the text of each number below 100.
constexpr std::array<char, 200> DIGIT_PAIRS = [] {
  std::array<char, 200> pairs{};
  for (int n = 0; n < 100; ++n) {
    pairs[static_cast<size_t>(2 * n)] = static_cast<char>('0' + n / 10);
    pairs[static_cast<size_t>(2 * n + 1)] = static_cast<char>('0' + n % 10);
  }
  return pairs;
}();

// Exactly N digits of value (below 10^N) at p, its leading zeros included. Long runs are cut
// into pieces of 8 and 4 digits that are written independently, in 32-bit arithmetic; within a
// piece, two digits at a time from the last one back.
template <int N>
void FixedDigits(char* p, uint64_t value) {
  if constexpr (N > 8) {
    FixedDigits<N - 8>(p, value / 100000000);
    FixedDigits<8>(p + N - 8, value % 100000000);
  } else if constexpr (N == 8) {
    const auto digits = static_cast<uint32_t>(value);
    FixedDigits<4>(p, digits / 10000);
    FixedDigits<4>(p + 4, digits % 10000);
  } else {
    auto digits = static_cast<uint32_t>(value);
    int i = N;
    for (; i >= 2; i -= 2) {
      std::memcpy(p + i - 2, DIGIT_PAIRS.data() + 2 * (digits % 100), 2);
      digits /= 100;
    }
    if (i == 1) p[0] = static_cast<char>('0' + digits);
  }
}

// The decimal digits of value (below 10^16) at p, without leading zeros (a lone "0" for 0);
// returns the end of them. Their count is found first, then the digits are written two at a
// time from the last one back.
char* WholeDigits(char* p, uint64_t value) {
  int count = 1;
  while (count < 16 && value >= POWERS_OF_TEN[count]) ++count;
  char* const end = p + count;
  char* q = end;
  while (value >= 100) {
    q -= 2;
    std::memcpy(q, DIGIT_PAIRS.data() + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    q -= 2;
    std::memcpy(q, DIGIT_PAIRS.data() + 2 * value, 2);
  } else {
    *--q = static_cast<char>('0' + value);
  }
  return end;
}

// Magnitudes from 2^53 up are whole numbers with long digit strings; {fmt} writes them.
constexpr double FAST_LIMIT = 9007199254740992.0;

// The fast path for one number of decimals: with the power of ten a constant, its divisions
// become multiplications.
template <int DECIMALS>
void AppendFixedDecimals(fmt::memory_buffer& text, double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7ff);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  int exponent = -1074;  // |value| = mantissa * 2^exponent
  if (biased_exponent != 0) {
    mantissa |= uint64_t{1} << 52;
    exponent = biased_exponent - 1075;
  }
  constexpr uint64_t scale = POWERS_OF_TEN[DECIMALS];
  // |value| * 10^DECIMALS as an exact fraction N / 2^shift, N below 2^93; round half to even.
  const uint128 n = static_cast<uint128>(mantissa) * scale;
  uint128 scaled = 0;
  if (exponent >= 0) {
    scaled = n << exponent;  // below 2^53 * 10^12, so it fits
  } else if (exponent > -128) {
    const int shift = -exponent;
    scaled = n >> shift;
    const uint128 remainder = n & ((uint128{1} << shift) - 1);
    const uint128 half = uint128{1} << (shift - 1);
    if (remainder > half || (remainder == half && (scaled & 1) != 0)) ++scaled;
  }  // else below half a unit of the last decimal: zero
  // Most values fit in 64 bits once scaled, and a 64-bit division is several times cheaper.
  uint64_t whole_part = 0;
  uint64_t fraction_part = 0;
  if ((scaled >> 64) == 0) {
    const auto narrow = static_cast<uint64_t>(scaled);
    whole_part = narrow / scale;
    fraction_part = narrow % scale;
  } else {
    whole_part = static_cast<uint64_t>(scaled / scale);
    fraction_part = static_cast<uint64_t>(scaled % scale);
  }
  // Sign, at most 16 whole digits (below 2^53), the point and the decimals, written straight
  // into the buffer's room: assembled elsewhere and copied over, the small stores would have to
  // be read back as one wide load, which stalls.
  const size_t used = text.size();
  text.reserve(used + 1 + 16 + 1 + MAX_FAST_DECIMALS);
  char* const start = text.data() + used;
  char* p = start;
  if (negative) *p++ = '-';
  p = WholeDigits(p, whole_part);
  if constexpr (DECIMALS > 0) {
    *p++ = '.';
    FixedDigits<DECIMALS>(p, fraction_part);
    p += DECIMALS;
  }
  text.resize(used + static_cast<size_t>(p - start));
}

using AppendFixedFunction = void (*)(fmt::memory_buffer&, double);

template <size_t... DECIMALS>
constexpr std::array<AppendFixedFunction, sizeof...(DECIMALS)> FastPaths(
    std::index_sequence<DECIMALS...>) {
  return {&AppendFixedDecimals<static_cast<int>(DECIMALS)>...};
}

constexpr auto FAST_PATHS = FastPaths(std::make_index_sequence<MAX_FAST_DECIMALS + 1>{});

}  // namespace

bool IsWritableField(double value) {
  return std::fabs(value) <= MAX_FIELD_MAGNITUDE;  // false for NaN as well
}

void AppendFixed(fmt::memory_buffer& text, double value, int decimals) {
  if (!(std::fabs(value) < FAST_LIMIT) || decimals < 0 || decimals > MAX_FAST_DECIMALS) {
    fmt::format_to(std::back_inserter(text), "{:.{}f}", value, decimals);
    return;
  }
  FAST_PATHS[static_cast<size_t>(decimals)](text, value);
}

}  // namespace fenwix
