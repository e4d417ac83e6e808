#pragma once
// A blunder planted in one element of a generated field file (as WriteNetworkXml writes it), for
// the tests and benchmarks that follow it through a whole conversion.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include "geodesy/angles.h"
#include "survey_network.h"

namespace fenwix::bench {

// One element of the field file changed: the occurrence-th element of its kind ("Vector", or an
// observation's ObsType) and face (1, 2; 0 for a vector) gets delta added to its field (meters,
// or arc-seconds for an angle). Returns the text and the element's first line; line 0 and the
// text unchanged when there is no such element.
inline std::pair<std::string, int> Plant(const std::string& xml, std::string_view kind, int face,
                                         int occurrence, std::string_view field, double delta) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < xml.size();) {
    const size_t end = xml.find('\n', at);
    lines.push_back(xml.substr(at, end - at));
    at = end + 1;
  }
  const auto value_of = [&](size_t i) {
    const size_t open = lines[i].find('>') + 1;
    return std::stod(lines[i].substr(open, lines[i].find('<', open) - open));
  };
  const std::string type_tag = fmt::format("<ObsType>{}<", kind);
  const std::string field_tag = fmt::format("<{}>", field);
  for (size_t i = 0; i < lines.size(); ++i) {
    const bool vector = lines[i].find("<Vector>") != std::string::npos;
    if (!vector && lines[i].find("<Observation>") == std::string::npos) continue;
    size_t end = i, target = 0;
    bool match = vector && kind == "Vector";
    int element_face = 0;
    for (; lines[end].find(vector ? "</Vector>" : "</Observation>") == std::string::npos; ++end) {
      const std::string& line = lines[end];
      if (line.find(type_tag) != std::string::npos) match = true;
      if (line.find("<ZenithAngle>") != std::string::npos) {
        element_face = value_of(end) > 180.0 ? 2 : 1;
      }
      if (line.find(field_tag) != std::string::npos) target = end;
    }
    if (!match || element_face != face || occurrence-- > 0) continue;
    const bool angle = field.find("Angle") != std::string::npos;
    const double value =
        angle ? DmsToRadians(value_of(target)) + delta * PI / 648000.0 : value_of(target) + delta;
    lines[target] = fmt::format("<{0}>{1}</{0}>", field,
                                angle ? PackedAngle(value) : fmt::format("{:.5f}", value));
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return {out, static_cast<int>(i) + 1};
  }
  return {xml, 0};
}

}  // namespace fenwix::bench
