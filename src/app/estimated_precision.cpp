#include "app/estimated_precision.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace fenwix {

namespace {

// Two significant digits: what the estimate can tell, and never a zero for a value above it.
double TwoDigits(double value) {
  if (!(value > 0.0) || !std::isfinite(value)) return value;
  // Divided by a whole power of ten below 10, so that 1.3 comes out as the double nearest 1.3.
  const double exponent = std::floor(std::log10(value)) - 1.0;
  if (exponent < 0.0) {
    const double inverse = std::pow(10.0, -exponent);
    return std::round(value * inverse) / inverse;
  }
  const double step = std::pow(10.0, exponent);
  return std::round(value / step) * step;
}

double Scaled(double value, const std::optional<double>& scale) {
  return scale && value > 0.0 ? std::min(TwoDigits(value * *scale), PROFILE_VALUE_MAX) : value;
}

std::optional<double>& ScaleOf(PrecisionScales& scales, AdjustedKind kind) {
  switch (kind) {
    case AdjustedKind::GnssVector:
      return scales.vectors;
    case AdjustedKind::HorizontalAngle:
      return scales.angles;
    case AdjustedKind::Zenith:
      return scales.zeniths;
    case AdjustedKind::SlopeDistance:
      break;
  }
  return scales.distances;
}

const char* GroupWords(AdjustedKind kind) {
  switch (kind) {
    case AdjustedKind::GnssVector:
      return "GNSS vectors";
    case AdjustedKind::HorizontalAngle:
      return "horizontal angles";
    case AdjustedKind::Zenith:
      return "zenith angles";
    case AdjustedKind::SlopeDistance:
      break;
  }
  return "slope distances";
}

std::string DistanceWords(const InstrumentProfile& p) {
  return p.distance_ppm > 0.0 ? fmt::format("{:g} mm + {:g} ppm", p.distance_sd_mm, p.distance_ppm)
                              : fmt::format("{:g} mm", p.distance_sd_mm);
}

}  // namespace

PrecisionScales ReliableScales(const AdjustmentResult& result) {
  PrecisionScales scales;
  if (result.outcome != AdjustmentOutcome::Done) return scales;
  for (const GroupFactor& g : result.groups) {
    const double ratio = g.scale * g.factor;
    if (g.redundancy >= RELIABLE_REDUNDANCY && ratio > 0.0 && std::isfinite(ratio)) {
      ScaleOf(scales, g.kind) = ratio;
    }
  }
  return scales;
}

InstrumentProfile ScaledInstrument(const InstrumentProfile& instrument,
                                   const PrecisionScales& scales) {
  InstrumentProfile scaled = instrument;
  scaled.angle_sd = Scaled(instrument.angle_sd, scales.angles);
  scaled.zenith_sd = Scaled(instrument.zenith_sd, scales.zeniths);
  scaled.distance_sd_mm = Scaled(instrument.distance_sd_mm, scales.distances);
  scaled.distance_ppm = Scaled(instrument.distance_ppm, scales.distances);
  return scaled;
}

GnssProfile ScaledGnss(const GnssProfile& gnss, const PrecisionScales& scales) {
  GnssProfile scaled = gnss;
  scaled.scale = Scaled(gnss.scale, scales.vectors);
  return scaled;
}

std::vector<std::string> PrecisionChanges(const WeightProfile& before, const WeightProfile& after) {
  std::vector<std::string> changes;
  const InstrumentProfile& a = before.instrument;
  const InstrumentProfile& b = after.instrument;
  if (before.gnss.scale != after.gnss.scale) {
    changes.push_back(
        fmt::format("GNSS vectors scale {:g} \u2192 {:g}", before.gnss.scale, after.gnss.scale));
  }
  if (a.angle_sd != b.angle_sd) {
    changes.push_back(
        fmt::format("horizontal angles {:g}\u2033 \u2192 {:g}\u2033", a.angle_sd, b.angle_sd));
  }
  if (a.zenith_sd != b.zenith_sd) {
    changes.push_back(
        fmt::format("zenith angles {:g}\u2033 \u2192 {:g}\u2033", a.zenith_sd, b.zenith_sd));
  }
  if (a.distance_sd_mm != b.distance_sd_mm || a.distance_ppm != b.distance_ppm) {
    changes.push_back("slope distances " + DistanceWords(a) + " \u2192 " + DistanceWords(b));
  }
  return changes;
}

std::vector<std::string> UnreliableGroups(const AdjustmentResult& result) {
  std::vector<std::string> left;
  if (result.outcome != AdjustmentOutcome::Done) return left;
  for (const GroupFactor& g : result.groups) {
    if (g.redundancy < RELIABLE_REDUNDANCY) {
      left.push_back(fmt::format("{}: redundancy {:.1f}, below {:g}, the profile's value stays",
                                 GroupWords(g.kind), g.redundancy, RELIABLE_REDUNDANCY));
    }
  }
  return left;
}

}  // namespace fenwix
