#include "checks/check_limits.h"

#include <charconv>
#include <cmath>

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

std::string ReadCheckLimits(std::string_view text, CheckLimits& limits) {
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
      return "line " + std::to_string(line_number) + ": " + what;
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
    for (const CheckLimitField& field : CheckLimitFields()) {
      if (name == field.name) {
        limits.*field.value = value;
        known = true;
      }
    }
    if (!known) return at_line("unknown limit '" + std::string(name) + "'");
  }
  return std::string();
}

}  // namespace fenwix
