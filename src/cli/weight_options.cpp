#include "cli/weight_options.h"

#include <charconv>
#include <vector>

#include <fmt/format.h>

namespace fenwix {

namespace {

struct WeightOption {
  std::string_view name;
  std::string_view values;  // as the usage shows them
  bool pair;
  bool scale;
};

constexpr WeightOption OPTIONS[] = {
    {"--angle-sd", "S", false, false},          {"--zenith-sd", "Z", false, false},
    {"--distance-sd", "A[,P]", true, false},    {"--centering", "I[,T]", true, false},
    {"--gnss-scale", "F", false, true},         {"--gnss-centering", "H[,V]", true, false},
    {"--gnss-fallback-sd", "MM", false, false},
};

const WeightOption* Find(std::string_view option) {
  for (const WeightOption& known : OPTIONS) {
    if (known.name == option) return &known;
  }
  return nullptr;
}

// The whole text as one finite number, blanks around it allowed.
std::optional<double> ReadValue(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

bool IsWeightOption(std::string_view option) {
  return Find(option) != nullptr;
}

std::optional<std::string> TakeWeightOption(std::string_view option, std::string_view text,
                                            WeightProfile& profile) {
  const WeightOption* known = Find(option);
  if (known == nullptr) return fmt::format("unknown option {}", option);
  std::vector<double> values;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string_view part = text.substr(start, comma - start);
    const std::optional<double> value = ReadValue(part);
    if (!value) return fmt::format("{}: \"{}\" is not a number", option, part);
    const std::string refused = RefuseProfileValue(*value, known->scale);
    if (!refused.empty()) return fmt::format("{}: {} {}", option, part, refused);
    values.push_back(*value);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  const size_t most = known->pair ? 2 : 1;
  if (values.size() > most) {
    return fmt::format("{} takes {}: at most {} value{}", option, known->values, most,
                       most == 1 ? "" : "s");
  }
  InstrumentProfile& t = profile.instrument;
  GnssProfile& g = profile.gnss;
  const double first = values[0];
  const double second = values.size() > 1 ? values[1] : first;
  if (option == "--angle-sd") t.angle_sd = first;
  if (option == "--zenith-sd") t.zenith_sd = first;
  if (option == "--distance-sd") {
    t.distance_sd_mm = first;
    t.distance_ppm = values.size() > 1 ? values[1] : 0.0;
  }
  if (option == "--centering") t.instrument_centering = first, t.target_centering = second;
  if (option == "--gnss-scale") g.scale = first;
  if (option == "--gnss-centering") g.horizontal_centering = first, g.vertical_centering = second;
  if (option == "--gnss-fallback-sd") g.fallback_sd = first;
  return std::nullopt;
}

}  // namespace fenwix
