#include "checks/check_limits.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <fmt/format.h>

#include "adjust/test_statistics.h"

namespace fenwix {

const std::vector<CheckLimitField>& CheckLimitFields() {
  static const std::vector<CheckLimitField> fields = {
      {"vector_horizontal_mm", &CheckLimits::vector_horizontal_mm},
      {"vector_horizontal_ppm", &CheckLimits::vector_horizontal_ppm},
      {"vector_vertical_mm", &CheckLimits::vector_vertical_mm},
      {"vector_vertical_ppm", &CheckLimits::vector_vertical_ppm},
      {"loop_horizontal_mm", &CheckLimits::loop_horizontal_mm},
      {"loop_horizontal_ppm", &CheckLimits::loop_horizontal_ppm},
      {"loop_vertical_mm", &CheckLimits::loop_vertical_mm},
      {"loop_vertical_ppm", &CheckLimits::loop_vertical_ppm},
      {"collimation_seconds", &CheckLimits::collimation_seconds},
      {"index_seconds", &CheckLimits::index_seconds},
      {"face_distance_mm", &CheckLimits::face_distance_mm},
      {"prism_change_mm", &CheckLimits::prism_change_mm},
      {"backsight_seconds", &CheckLimits::backsight_seconds},
      {"backsight_distance_mm", &CheckLimits::backsight_distance_mm},
      {"gross_distance_m", &CheckLimits::gross_distance_m},
      {"gross_distance_ppm", &CheckLimits::gross_distance_ppm},
      {"gross_angle_minutes", &CheckLimits::gross_angle_minutes},
  };
  return fields;
}

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

Status ReadCheckLimits(std::string_view text, CheckLimits& limits) {
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    const auto at_line = [line_number](const std::string& what) {
      return Status::Refused("line " + std::to_string(line_number) + ": " + what,
                             SourceLocation{0, line_number});
    };
    if (equals == std::string_view::npos) return at_line("expected name = value");
    const std::string_view name = Trim(line.substr(0, equals));
    const std::string_view value_text = Trim(line.substr(equals + 1));
    double value = 0.0;
    const auto [end_of_number, error] =
        std::from_chars(value_text.data(), value_text.data() + value_text.size(), value);
    if (error != std::errc() || end_of_number != value_text.data() + value_text.size() ||
        !std::isfinite(value) || value < 0.0) {
      return at_line("'" + std::string(value_text) + "' is not a number of at least 0");
    }
    bool known = false;
    const std::vector<CheckLimitField>& fields = CheckLimitFields();
    for (size_t k = 0; k < fields.size(); ++k) {
      if (name == fields[k].name) {
        limits.*fields[k].value = value;
        limits.by_hand |= uint32_t{1} << k;
        known = true;
      }
    }
    if (!known) return at_line("unknown limit '" + std::string(name) + "'");
  }
  return Status();
}

bool CheckLimits::ByHand(double CheckLimits::*value) const {
  const std::vector<CheckLimitField>& fields = CheckLimitFields();
  for (size_t k = 0; k < fields.size(); ++k) {
    if (fields[k].value == value) return (by_hand >> k & 1u) != 0;
  }
  return false;
}

const char* LimitRuleName(LimitRule rule) {
  switch (rule) {
    case LimitRule::Profile:
      return "profile";
    case LimitRule::Covariances:
      return "covariances";
    case LimitRule::Hand:
      return "hand";
    case LimitRule::Fixed:
    default:
      return "fixed";
  }
}

double ReadingFamilyMultiple(int64_t quantities) {
  const auto n = static_cast<int>(std::clamp<int64_t>(quantities, 1, 1 << 30));
  return std::max(LINE_MULTIPLE, FamilyCriticalW(n, READING_FAMILY_ALPHA));
}

CheckLimits ReadingLimits(const CheckLimits& given, const InstrumentProfile* instrument,
                          std::vector<LimitOrigin>* origins, const std::string& files,
                          double multiple) {
  const double root2 = std::sqrt(2.0);
  const double s = instrument != nullptr ? instrument->angle_sd : 0.0;
  const double z = instrument != nullptr ? instrument->zenith_sd : 0.0;
  const double a = instrument != nullptr ? instrument->distance_sd_mm : 0.0;
  // The profile's values are the SDs of one reading. Both faces of a pointing, and the opening
  // and closing backsight, are read from the same setup to the same target: centring and the
  // distance's ppm part are the same in both and leave the differences.
  struct Item {
    double CheckLimits::*value;
    const char* name;
    const char* unit;
    const char* quantity;
    double sigma;        // 0 where the profile gives none
    const char* basis;   // how σ follows from the profile
    const char* source;  // the profile's value behind it
  };
  const Item items[] = {
      {&CheckLimits::collimation_seconds, "collimation_seconds", "\"", "2C", root2 * s, "√2 × S",
       "S"},
      {&CheckLimits::index_seconds, "index_seconds", "\"", "the index error", z / root2, "Z / √2",
       "Z"},
      {&CheckLimits::face_distance_mm, "face_distance_mm", " mm", "the face distance spread",
       root2 * a, "√2 × A", "A"},
      // Heights are typed, not measured: no SD describes a change.
      {&CheckLimits::prism_change_mm, "prism_change_mm", " mm", "", 0.0, nullptr, nullptr},
      {&CheckLimits::backsight_seconds, "backsight_seconds", "\"", "the closing direction",
       root2 * s, "√2 × S", "S"},
      {&CheckLimits::backsight_distance_mm, "backsight_distance_mm", " mm", "the closing distance",
       root2 * a, "√2 × A", "A"},
  };
  CheckLimits limits = given;
  const std::string of_files = files.empty() ? std::string() : " (" + files + ")";
  for (const Item& item : items) {
    LimitOrigin origin;
    origin.limits = {item.name};
    if (given.ByHand(item.value)) {
      origin.rule = LimitRule::Hand;
      origin.text = "set by hand";
    } else if (item.basis != nullptr && item.sigma > 0.0 && std::isfinite(item.sigma)) {
      limits.*item.value = multiple * item.sigma;
      origin.rule = LimitRule::Profile;
      origin.multiple = multiple;
      origin.sigma = item.sigma;
      origin.text = fmt::format("{:.2f} × σ of {}, σ = {} = {:.2f}{}", multiple, item.quantity,
                                item.basis, item.sigma, item.unit);
    } else {
      origin.rule = LimitRule::Fixed;
      origin.text = item.basis == nullptr ? "fixed, heights are typed, not measured"
                    : instrument == nullptr
                        ? "fixed, no instrument profile"
                        : fmt::format("fixed, the profile gives no σ ({} = 0)", item.source);
    }
    origin.value = limits.*item.value;
    // A limit from σ to a tenth, one set by hand or fixed as it stands.
    const std::string value = origin.rule == LimitRule::Profile
                                  ? fmt::format("{:.1f}", origin.value)
                                  : fmt::format("{:g}", origin.value);
    origin.text =
        fmt::format("{} = {}{}{}: {}", item.name, value, item.unit, of_files, origin.text);
    if (origins != nullptr) origins->push_back(std::move(origin));
  }
  return limits;
}

LimitOrigin FixedLimitOrigin(const CheckLimits& limits,
                             const std::vector<double CheckLimits::*>& values,
                             const std::string& why) {
  LimitOrigin origin;
  std::string listed;
  for (const CheckLimitField& field : CheckLimitFields()) {
    for (double CheckLimits::*value : values) {
      if (field.value != value) continue;
      origin.limits.emplace_back(field.name);
      if (limits.ByHand(value)) origin.rule = LimitRule::Hand;
      if (!listed.empty()) listed += ", ";
      listed += fmt::format("{} = {:g}", field.name, limits.*value);
    }
  }
  if (values.size() == 1) origin.value = limits.*values.front();
  origin.text = listed + (origin.rule == LimitRule::Hand ? ": set by hand" : ": fixed, " + why);
  return origin;
}

}  // namespace fenwix
