#pragma once
// The fields of a weight profile, once: where each is kept, its default, its rule, and its name
// in every form that stores or takes a profile (the job file, the program settings, the check
// report, the command line and the profiles dialog). Each form walks WEIGHT_FIELDS in order.

#include <optional>
#include <string_view>
#include <type_traits>

#include "weights/weight_profile.h"

namespace fenwix {

// Two fields that one key or option takes together, as [first, second] or "A[,P]".
enum class WeightPair { Alone, First, Second };

struct WeightField {
  std::string_view symbol;        // the value's letter in the usage and the comments: "S"
  std::string_view label;         // the profiles dialog's words for it, unit apart
  std::string_view unit;          // "\"", "mm" or "ppm"; empty for a factor
  std::string_view settings_key;  // in each profile of the program settings
  std::string_view report_key;    // in each "weighting" entry of the check report's JSON
  std::string_view job_key;       // in a job file's "instruments" entry or its "gnss" object
  std::string_view option;        // of the command line
  std::string_view edit_name;     // object name of its edit in the profiles dialog
  bool gnss;                      // a field of GnssProfile, else of InstrumentProfile
  bool scale;                     // above zero, not only zero or more (RefuseProfileValue)
  bool may_be_none;               // has no value unless one is given
  WeightPair pair;
  // A pair's second value left out: the first's value when true, else the default.
  bool follows_first;
  std::optional<double> default_value;
  struct Access {
    std::optional<double> (*get)(const WeightProfile&);
    void (*set)(WeightProfile&, std::optional<double>);
  } access;

  constexpr std::optional<double> Value(const WeightProfile& profile) const {
    return access.get(profile);
  }
  // A field that cannot be none keeps its value when given none.
  constexpr void SetValue(WeightProfile& profile, std::optional<double> value) const {
    access.set(profile, value);
  }
};

namespace weight_field_access {

// The accessors of profile.*part.*member, a number or an optional number.
template <auto part, auto member>
constexpr std::optional<double> Get(const WeightProfile& profile) {
  return (profile.*part).*member;
}

template <auto part, auto member>
constexpr void Set(WeightProfile& profile, std::optional<double> value) {
  auto& kept = (profile.*part).*member;
  if constexpr (std::is_same_v<std::remove_cvref_t<decltype(kept)>, double>) {
    if (value) kept = *value;
  } else {
    kept = value;
  }
}

template <auto part, auto member>
inline constexpr WeightField::Access MEMBER = {&Get<part, member>, &Set<part, member>};

}  // namespace weight_field_access

using weight_field_access::MEMBER;

inline constexpr WeightField WEIGHT_FIELDS[] = {
    {"S", "Horizontal angle SD", "\"", "angleSd", "angle_sd", "angle_sd", "--angle-sd",
     "angleSdEdit", false, false, false, WeightPair::Alone, false, 5.0,
     MEMBER<&WeightProfile::instrument, &InstrumentProfile::angle_sd>},
    {"Z", "Zenith angle SD", "\"", "zenithSd", "zenith_sd", "zenith_sd", "--zenith-sd",
     "zenithSdEdit", false, false, false, WeightPair::Alone, false, 5.0,
     MEMBER<&WeightProfile::instrument, &InstrumentProfile::zenith_sd>},
    {"A", "Distance SD", "mm", "distanceSdMm", "distance_sd_mm", "distance_sd", "--distance-sd",
     "distanceSdEdit", false, false, false, WeightPair::First, false, 5.0,
     MEMBER<&WeightProfile::instrument, &InstrumentProfile::distance_sd_mm>},
    {"P", "  plus", "ppm", "distancePpm", "distance_ppm", "distance_sd", "--distance-sd",
     "distancePpmEdit", false, false, false, WeightPair::Second, false, 0.0,
     MEMBER<&WeightProfile::instrument, &InstrumentProfile::distance_ppm>},
    {"I", "Instrument centring", "mm", "instrumentCentering", "instrument_centering_mm",
     "centering", "--centering", "instrumentCenteringEdit", false, false, false, WeightPair::First,
     false, 0.0, MEMBER<&WeightProfile::instrument, &InstrumentProfile::instrument_centering>},
    {"T", "Target centring", "mm", "targetCentering", "target_centering_mm", "centering",
     "--centering", "targetCenteringEdit", false, false, false, WeightPair::Second, true, 0.0,
     MEMBER<&WeightProfile::instrument, &InstrumentProfile::target_centering>},
    {"F", "Scale of the processor's SDs", "", "gnssScale", "gnss_scale", "scale", "--gnss-scale",
     "gnssScaleEdit", true, true, false, WeightPair::Alone, false, 1.0,
     MEMBER<&WeightProfile::gnss, &GnssProfile::scale>},
    {"H", "Centring per end, horizontal", "mm", "gnssHorizontalCentering",
     "gnss_horizontal_centering_mm", "centering", "--gnss-centering", "gnssHorizontalEdit", true,
     false, false, WeightPair::First, false, 0.0,
     MEMBER<&WeightProfile::gnss, &GnssProfile::horizontal_centering>},
    {"V", "Centring per end, vertical", "mm", "gnssVerticalCentering", "gnss_vertical_centering_mm",
     "centering", "--gnss-centering", "gnssVerticalEdit", true, false, false, WeightPair::Second,
     true, 0.0, MEMBER<&WeightProfile::gnss, &GnssProfile::vertical_centering>},
    {"MM", "SD of vectors given none", "mm", "gnssFallbackSd", "gnss_fallback_sd_mm", "fallback_sd",
     "--gnss-fallback-sd", "gnssFallbackEdit", true, false, true, WeightPair::Alone, false,
     std::nullopt, MEMBER<&WeightProfile::gnss, &GnssProfile::fallback_sd>},
};

// The default profile holds each field's default.
constexpr bool WeightFieldDefaultsHold() {
  for (const WeightField& field : WEIGHT_FIELDS) {
    if (field.Value(WeightProfile{}) != field.default_value) return false;
  }
  return true;
}
static_assert(WeightFieldDefaultsHold(), "a default of WEIGHT_FIELDS differs from WeightProfile's");

// The other field of a pair (the one after a first, the one before a second); null when alone.
constexpr const WeightField* PairedField(const WeightField& field) {
  if (field.pair == WeightPair::Alone) return nullptr;
  return field.pair == WeightPair::First ? &field + 1 : &field - 1;
}

// The value a pair's second takes when only the first is given.
constexpr double SecondLeftOut(const WeightField& second, double first) {
  return second.follows_first ? first : second.default_value.value_or(0.0);
}

}  // namespace fenwix
