#include "cli/weight_options.h"

#include <charconv>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "weights/weight_fields.h"

namespace fenwix {

namespace {

// The field an option sets: the first of its pair when it takes two values.
const WeightField* Find(std::string_view option) {
  for (const WeightField& field : WEIGHT_FIELDS) {
    if (field.option == option) return &field;
  }
  return nullptr;
}

// The option's values as the usage shows them: "S", "A[,P]".
std::string ValuesShown(const WeightField& field) {
  const WeightField* second = PairedField(field);
  return second == nullptr ? std::string(field.symbol)
                           : fmt::format("{}[,{}]", field.symbol, second->symbol);
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
  const WeightField* known = Find(option);
  if (known == nullptr) return fmt::format("unknown option {}", option);
  std::vector<double> values;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string_view part = text.substr(start, comma - start);
    const std::optional<double> value = ReadValue(part);
    if (!value) return fmt::format("{}: \"{}\" is not a number", option, part);
    const Status refused = RefuseProfileValue(*value, known->scale);
    if (refused.failed()) return fmt::format("{}: {} {}", option, part, refused.text());
    values.push_back(*value);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  const WeightField* second = PairedField(*known);
  const size_t most = second != nullptr ? 2 : 1;
  if (values.size() > most) {
    return fmt::format("{} takes {}: at most {} value{}", option, ValuesShown(*known), most,
                       most == 1 ? "" : "s");
  }
  known->SetValue(profile, values[0]);
  if (second != nullptr) {
    second->SetValue(profile, values.size() > 1 ? values[1] : SecondLeftOut(*second, values[0]));
  }
  return std::nullopt;
}

}  // namespace fenwix
