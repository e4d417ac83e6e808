#include "app/field_validation.h"

#include <charconv>
#include <cmath>
#include <utility>

#include <fmt/format.h>

#include "app/messages.h"
#include "geodesy/angles.h"
#include "geodesy/ellipsoid.h"

namespace fenwix {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Length of the longest decimal floating-point prefix of text, 0 when there is none.
size_t DecimalPrefixLength(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

}  // namespace

std::optional<double> ParseNumberField(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  text.remove_prefix(start);
  const size_t length = DecimalPrefixLength(text);
  if (length == 0) return std::nullopt;
  for (size_t i = length; i < text.size(); ++i) {
    if (!IsBlank(text[i])) return std::nullopt;
  }
  std::string_view number = text.substr(0, length);
  if (number.front() == '+') number.remove_prefix(1);
  double value = 0.0;
  const auto parsed = std::from_chars(number.data(), number.data() + number.size(), value);
  if (parsed.ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  if (value == 0.0 && text.front() != '0') return std::nullopt;
  return value;
}

Status ReadNumberField(std::string_view text, double& value,
                       const std::optional<NumberRange>& range) {
  const std::optional<double> number = ParseNumberField(text);
  if (!number) return Status::Refused(FormatFieldMessage(MSG_ENTER_NUMBER));
  if (range && (*number < range->low || *number > range->high)) {
    return Status::Refused(FormatFieldMessage(MSG_NUMBER_RANGE, FormatFieldNumber(range->low),
                                              FormatFieldNumber(range->high)));
  }
  value = *number;
  return Status();
}

Status CheckPackedAngle(double packed) {
  const Dms dms = SplitDms(std::fabs(packed));
  if (dms.minutes < 60.0 && dms.seconds < 60.0) return Status();
  return Status::Refused(std::string(MessageText(MSG_PACKED_ANGLE)));
}

Status CheckDatum(std::string_view name, double a, double inv_f) {
  if (TrimWhiteSpace(name).empty()) return Status::Refused("the ellipsoid needs a name");
  // Written as ranges that NaN fails, so that no value slips through to the fallback.
  if (!(a >= DATUM_A_MIN && a <= DATUM_A_MAX)) {
    return Status::Refused(fmt::format("the semi-major axis {} is not between {} and {} meters",
                                       FormatFieldNumber(a), FormatFieldNumber(DATUM_A_MIN),
                                       FormatFieldNumber(DATUM_A_MAX)));
  }
  if (!(inv_f >= DATUM_INV_F_MIN && inv_f <= DATUM_INV_F_MAX)) {
    return Status::Refused(fmt::format("the inverse flattening {} is not between {} and {}",
                                       FormatFieldNumber(inv_f), FormatFieldNumber(DATUM_INV_F_MIN),
                                       FormatFieldNumber(DATUM_INV_F_MAX)));
  }
  return Status();
}

Status CheckSeedName(std::string_view name) {
  if (Utf8Length(name) <= SEED_NAME_MAX_CHARS) return Status();
  return Status::Refused(FormatFieldMessage(MSG_TOO_LONG, std::to_string(SEED_NAME_MAX_CHARS)));
}

std::string FormatFieldNumber(double value) {
  return fmt::format("{:.15g}", value);
}

size_t Utf8Length(std::string_view text) {
  size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

std::string TrimWhiteSpace(std::string_view text) {
  const auto is_space = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  };
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::vector<std::string> TrimmedFileNames(const std::vector<std::string>& names) {
  std::vector<std::string> trimmed;
  for (const std::string& name : names) {
    if (std::string kept = TrimWhiteSpace(name); !kept.empty()) trimmed.push_back(std::move(kept));
  }
  return trimmed;
}

}  // namespace fenwix
