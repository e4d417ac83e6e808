#include "xml/reading_text.h"

#include <charconv>
#include <cmath>
#include <initializer_list>

#include "geodesy/angles.h"
#include "model/units.h"

namespace fenwix {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A unit indicator as compared leniently: lower case, without blanks, '_' or '-'. Indicator
// texts are short keywords.
std::string Folded(std::string_view text) {
  std::string folded;
  for (const char c : text) {
    if (IsBlank(c) || c == '_' || c == '-') continue;
    folded += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return folded;
}

bool AnyOf(std::string_view folded, std::initializer_list<std::string_view> spellings) {
  for (const std::string_view spelling : spellings) {
    if (folded == spelling) return true;
  }
  return false;
}

}  // namespace

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The unit a distance indicator names, however spelled; none for one not known.
std::optional<LinearUnit> DistanceUnitNamed(std::string_view text) {
  const std::string folded = Folded(text);
  if (AnyOf(folded, {"m", "meter", "meters", "metre", "metres", "metric"})) {
    return LinearUnit::Meter;
  }
  if (AnyOf(folded, {"usfeet", "usfoot", "usft", "ussurveyfeet", "ussurveyfoot", "surveyfeet",
                     "surveyfoot"})) {
    return LinearUnit::UsFoot;
  }
  if (AnyOf(folded, {"feet", "foot", "ft", "intfeet", "intfoot", "intft", "ift",
                     "internationalfeet", "internationalfoot"})) {
    return LinearUnit::InternationalFoot;
  }
  return std::nullopt;
}

// The angle unit an angle indicator names, however spelled; none for one not known.
std::optional<AngleUnit> AngleUnitNamed(std::string_view text) {
  const std::string folded = Folded(text);
  if (folded == "dms") return AngleUnit::Degrees;
  if (AnyOf(folded, {"gon", "gons", "grad", "grads", "gradian", "gradians"})) {
    return AngleUnit::Gons;
  }
  return std::nullopt;
}

std::string_view LinearUnitName(LinearUnit unit) {
  if (unit == LinearUnit::UsFoot) return "US survey feet";
  if (unit == LinearUnit::InternationalFoot) return "international feet";
  return "meters";
}

std::string_view AngleUnitName(AngleUnit unit) {
  return unit == AngleUnit::Gons ? "gons" : "DD.MMSSsssss";
}

// Shortest decimal text that reads back as value.
std::string Decimal(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// An angle in degrees as degrees, minutes and seconds to a tenth, e.g. 124°16'30".
std::string DegreesMinutesSeconds(double degrees) {
  // Tenths of an arc-second in a degree.
  constexpr double TENTHS_PER_DEGREE = 36000.0;
  const double magnitude = std::fabs(degrees);
  if (!(magnitude < 1e9)) return Decimal(degrees) + "°";
  const auto tenths = static_cast<int64_t>(std::llround(magnitude * TENTHS_PER_DEGREE));
  std::string text = degrees < 0.0 ? "-" : "";
  text += std::to_string(tenths / 36000) + "°" + std::to_string(tenths / 600 % 60) + "'" +
          std::to_string(tenths % 600 / 10);
  if (tenths % 10 != 0) text += "." + std::to_string(tenths % 10);
  return text + "\"";
}

}  // namespace fenwix
