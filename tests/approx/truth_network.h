#pragma once
// Survey networks with known true positions: stations placed in the local east/north/up frame
// of a seed point on WGS 84, and error-free GPS vectors and angle sets computed from them with
// GeographicLib. The observations fill the tables directly or are written as Topcon XML.

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "model/survey_tables.h"

namespace fenwix::testing {

struct TruthObservation {
  ObsKind kind = ObsKind::None;
  std::string at;    // base point / instrument station
  std::string fore;  // rover point / foresight
  std::string back;  // backsight (angle sets)
  double dx = MISSING_VALUE;
  double dy = MISSING_VALUE;
  double dz = MISSING_VALUE;
  double horiz_angle = MISSING_VALUE;  // radians, clockwise from back to fore
  double zenith = MISSING_VALUE;       // radians
  double slope_dist = MISSING_VALUE;   // meters
};

struct Sighting {
  double azimuth;  // radians, [0, 2π)
  double zenith;   // radians
  double slope;    // meters
};

class TruthNetwork {
 public:
  // Seed position in degrees and meters (ellipsoidal height).
  TruthNetwork(double lat0, double lon0, double h0)
      : lat0_(lat0),
        lon0_(lon0),
        h0_(h0),
        frame_(lat0, lon0, h0, GeographicLib::Geocentric::WGS84()) {}

  // A station at east, north, up (meters) in the seed's local frame.
  void Add(const std::string& name, double e, double n, double u) {
    Point p;
    frame_.Reverse(e, n, u, p.lat, p.lon, p.h);
    p.e = e;
    p.n = n;
    p.u = u;
    points_[name] = p;
  }

  double lat0() const { return lat0_; }
  double lon0() const { return lon0_; }
  double h0() const { return h0_; }
  // True local coordinates of a station, as the program numbers them (seed at 100000, 100000).
  double North(const std::string& name) const { return points_.at(name).n + 100000.0; }
  double East(const std::string& name) const { return points_.at(name).e + 100000.0; }
  double Elevation(const std::string& name) const { return points_.at(name).u; }
  double Height(const std::string& name) const { return points_.at(name).h; }
  // Horizontal distance between two stations in the seed frame, meters.
  double Distance(const std::string& a, const std::string& b) const {
    return std::hypot(points_.at(a).e - points_.at(b).e, points_.at(a).n - points_.at(b).n);
  }

  TruthObservation GpsVector(const std::string& base, const std::string& rover) const {
    const auto& geocentric = GeographicLib::Geocentric::WGS84();
    double x1, y1, z1, x2, y2, z2;
    const Point& p1 = points_.at(base);
    const Point& p2 = points_.at(rover);
    geocentric.Forward(p1.lat, p1.lon, p1.h, x1, y1, z1);
    geocentric.Forward(p2.lat, p2.lon, p2.h, x2, y2, z2);
    TruthObservation obs;
    obs.kind = ObsKind::GpsVector;
    obs.at = base;
    obs.fore = rover;
    obs.dx = x2 - x1;
    obs.dy = y2 - y1;
    obs.dz = z2 - z1;
    return obs;
  }

  // What an instrument on the mark of `at` measures to the mark of `target`, in its local level
  // frame.
  Sighting Sight(const std::string& at, const std::string& target) const {
    const Point& p1 = points_.at(at);
    const Point& p2 = points_.at(target);
    const GeographicLib::LocalCartesian frame(p1.lat, p1.lon, p1.h,
                                              GeographicLib::Geocentric::WGS84());
    double e, n, u;
    frame.Forward(p2.lat, p2.lon, p2.h, e, n, u);
    double azimuth = std::atan2(e, n);
    if (azimuth < 0) azimuth += 2 * std::numbers::pi;
    return Sighting{azimuth, std::atan2(std::hypot(e, n), u), std::sqrt(e * e + n * n + u * u)};
  }

  // An angle set at `at` from backsight `back` to foresight `fore`; the angle, the zenith angle
  // and the slope distance to the foresight each only when asked for.
  TruthObservation AngleSet(const std::string& at, const std::string& back, const std::string& fore,
                            bool angle = true, bool zenith = true, bool distance = true) const {
    const Sighting b = Sight(at, back);
    const Sighting f = Sight(at, fore);
    TruthObservation obs;
    obs.kind = ObsKind::AngleSet;
    obs.at = at;
    obs.fore = fore;
    obs.back = back;
    if (angle) {
      double a = f.azimuth - b.azimuth;
      if (a < 0) a += 2 * std::numbers::pi;
      obs.horiz_angle = a;
    }
    if (zenith) obs.zenith = f.zenith;
    if (distance) obs.slope_dist = f.slope;
    return obs;
  }

 private:
  struct Point {
    double lat, lon, h;  // degrees, meters
    double e, n, u;      // seed frame, meters
  };
  double lat0_, lon0_, h0_;
  GeographicLib::LocalCartesian frame_;
  std::map<std::string, Point> points_;
};

// Records the observations into the tables as the XML reader would.
inline void FillTables(SurveyTables& tables, const std::vector<TruthObservation>& observations) {
  for (const TruthObservation& obs : observations) {
    tables.SetObsKind(obs.kind);
    tables.SetObsName(ObsNameField::At, obs.at);
    tables.SetObsName(ObsNameField::Fore, obs.fore);
    tables.SetObsName(ObsNameField::Back, obs.back);
    if (obs.kind == ObsKind::GpsVector) {
      tables.SetObsValue(ObsValueField::X, obs.dx);
      tables.SetObsValue(ObsValueField::Y, obs.dy);
      tables.SetObsValue(ObsValueField::Z, obs.dz);
    } else {
      tables.SetObsValue(ObsValueField::HorizAngle, obs.horiz_angle);
      tables.SetObsValue(ObsValueField::Zenith, obs.zenith);
      tables.SetObsValue(ObsValueField::SlopeDist, obs.slope_dist);
    }
    tables.RecordObservation();
  }
}

// Packed DD.MMSSsssss text of an angle in [0, 2π), to 1e-5 arc-second.
inline std::string PackedDms(double radians) {
  const auto units =
      static_cast<long long>(std::llround(radians * 180.0 / std::numbers::pi * 3600.0 * 1e5));
  const long long degrees = units / (3600LL * 100000LL);
  const long long minutes = units / (60LL * 100000LL) % 60;
  const long long seconds = units / 100000LL % 60;
  const long long fraction = units % 100000LL;
  char text[64];
  std::snprintf(text, sizeof text, "%lld.%02lld%02lld%05lld", degrees, minutes, seconds, fraction);
  return text;
}

// Writes the observations as a Topcon XML job. GPS vectors become "Vector" elements (a missing
// component is left out); angle sets become setups, one "Station" element per run of sets at
// the same station, each set a backsight and a foresight observation closed by the next
// backsight. A set without its angle is a distance-only shot (no angles at all).
inline void WriteTopconXml(const std::string& path, const TruthNetwork& net,
                           const std::vector<TruthObservation>& observations) {
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<data>\n  <Project><Name>Truth</Name>"
         "</Project>\n";
  const auto number = [](double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", v);
    return std::string(text);
  };
  // Circle reading of the backsight: any orientation serves, the angle is what counts.
  const double orientation = 0.7;
  size_t i = 0;
  while (i < observations.size()) {
    const TruthObservation& obs = observations[i];
    if (obs.kind == ObsKind::GpsVector) {
      out << "  <Vector>\n    <BasePoint>" << obs.at << "</BasePoint>\n    <RoverPoint>" << obs.fore
          << "</RoverPoint>\n    <Type>Fixed</Type>\n";
      if (obs.dx != MISSING_VALUE) out << "    <DX>" << number(obs.dx) << "</DX>\n";
      if (obs.dy != MISSING_VALUE) out << "    <DY>" << number(obs.dy) << "</DY>\n";
      if (obs.dz != MISSING_VALUE) out << "    <DZ>" << number(obs.dz) << "</DZ>\n";
      out << "    <SX>0.002</SX><SY>0.002</SY><SZ>0.004</SZ>\n  </Vector>\n";
      ++i;
      continue;
    }
    out << "  <Station>\n    <StationPoint>" << obs.at
        << "</StationPoint>\n    <InstrumentHeight>0.000</InstrumentHeight>\n";
    const auto backsight = [&](const TruthObservation& set) {
      const Sighting b = net.Sight(set.at, set.back);
      out << "    <Observation><ObsType>Backsight</ObsType><PointNumber>" << set.back
          << "</PointNumber><HorizontalAngle>" << PackedDms(orientation)
          << "</HorizontalAngle><ZenithAngle>" << PackedDms(b.zenith)
          << "</ZenithAngle><SlopeDistance>" << number(b.slope)
          << "</SlopeDistance><PrismHeight>0.000</PrismHeight></Observation>\n";
    };
    for (; i < observations.size() && observations[i].kind == ObsKind::AngleSet &&
           observations[i].at == obs.at;
         ++i) {
      const TruthObservation& set = observations[i];
      backsight(set);
      out << "    <Observation><ObsType>Foresight</ObsType><PointNumber>" << set.fore
          << "</PointNumber>";
      if (set.horiz_angle != MISSING_VALUE) {
        double reading = orientation + set.horiz_angle;
        if (reading >= 2 * std::numbers::pi) reading -= 2 * std::numbers::pi;
        out << "<HorizontalAngle>" << PackedDms(reading) << "</HorizontalAngle><ZenithAngle>"
            << PackedDms(set.zenith) << "</ZenithAngle>";
      }
      if (set.slope_dist != MISSING_VALUE) {
        out << "<SlopeDistance>" << number(set.slope_dist) << "</SlopeDistance>";
      }
      out << "<PrismHeight>0.000</PrismHeight></Observation>\n";
      // The next backsight closes the set.
      if (i + 1 >= observations.size() || observations[i + 1].kind != ObsKind::AngleSet ||
          observations[i + 1].at != obs.at) {
        backsight(set);
      }
    }
    out << "  </Station>\n";
  }
  out << "</data>\n";
}

}  // namespace fenwix::testing
