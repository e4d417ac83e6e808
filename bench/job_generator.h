#pragma once
// Writes a large, realistic Topcon XML job for the benchmarks: a project block, control points,
// GPS vectors with standard deviations and correlations between them, and total-station setups
// whose observations read both faces to a backsight and to foresights. The content depends only
// on the sizes and the seed, on every platform.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace fenwix::bench {

struct JobSize {
  int32_t stations = 20000;
  int32_t vectors = 100000;
  int32_t setups = 10000;
  // Per setup: backsight on both faces, foresight on both faces, closing backsight on both
  // faces; every tenth setup measures its foresight in US survey feet.
  static constexpr int32_t OBSERVATIONS_PER_SETUP = 6;
};

// What a full reading of the job gives.
struct JobCounts {
  int64_t bytes = 0;
  int64_t vectors = 0;
  int64_t observations = 0;
  // Records that the reader appends: one per vector, and per setup a single sight (at the first
  // foresight) and an angle set (at the closing backsight).
  int64_t records = 0;
};

namespace detail {

// splitmix64: small, fast and the same everywhere, unlike the standard distributions.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  double Between(double low, double high) { return low + (high - low) * Unit(); }
  int32_t Below(int32_t n) { return static_cast<int32_t>(Next() % static_cast<uint64_t>(n)); }

 private:
  uint64_t state_;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Packed DD.MMSSs (degrees, minutes, seconds and tenths) of an angle in degrees, taken into
// [0, 360).
inline std::string Packed(double degrees) {
  const int64_t tenths = static_cast<int64_t>(degrees * 36000.0 + 0.5) % (360LL * 36000);
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%02lld%02lld%lld", static_cast<long long>(tenths / 36000),
                static_cast<long long>(tenths / 600 % 60), static_cast<long long>(tenths / 10 % 60),
                static_cast<long long>(tenths % 10));
  return text;
}

inline std::string PointName(int32_t index) {
  char text[16];
  std::snprintf(text, sizeof text, "P%05d", index + 1);
  return text;
}

}  // namespace detail

// Writes the job to path; false when the file cannot be written. counts receives what a
// reader should find in it.
inline bool WriteLargeJob(const std::string& path, const JobSize& size, JobCounts& counts,
                          uint64_t seed = 20261208) {
  using detail::PointName;
  const std::unique_ptr<std::FILE, detail::FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  std::FILE* out = file.get();
  detail::Random random(seed);
  counts = JobCounts{};

  std::fprintf(out,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<data>\n"
               "  <Project>\n    <Name>Benchmark job</Name>\n    <Units>\n"
               "      <Distance>Meters</Distance>\n      <Angle>DMS</Angle>\n    </Units>\n"
               "    <Datum>WGS84</Datum>\n  </Project>\n");

  for (int32_t i = 0; i < size.stations; ++i) {
    std::fprintf(out,
                 "  <Point>\n    <PointNumber>%s</PointNumber>\n    <Code>CP</Code>\n"
                 "    <Latitude>%.9f</Latitude>\n    <Longitude>%.9f</Longitude>\n"
                 "    <Height>%.4f</Height>\n  </Point>\n",
                 PointName(i).c_str(), random.Between(45.0, 46.0), random.Between(-75.0, -74.0),
                 random.Between(50.0, 350.0));
  }

  for (int32_t i = 0; i < size.vectors; ++i) {
    const int32_t base = random.Below(size.stations);
    int32_t rover = random.Below(size.stations);
    if (rover == base) rover = (rover + 1) % size.stations;
    std::fprintf(out,
                 "  <Vector>\n    <BasePoint>%s</BasePoint>\n    <RoverPoint>%s</RoverPoint>\n"
                 "    <Type>Static</Type>\n"
                 "    <DX>%.4f</DX>\n    <DY>%.4f</DY>\n    <DZ>%.4f</DZ>\n"
                 "    <SX>%.5f</SX>\n    <SY>%.5f</SY>\n    <SZ>%.5f</SZ>\n"
                 "    <CXY>%.6f</CXY>\n    <CXZ>%.6f</CXZ>\n    <CYZ>%.6f</CYZ>\n"
                 "  </Vector>\n",
                 PointName(base).c_str(), PointName(rover).c_str(), random.Between(-5000.0, 5000.0),
                 random.Between(-5000.0, 5000.0), random.Between(-500.0, 500.0),
                 random.Between(0.001, 0.01), random.Between(0.001, 0.01),
                 random.Between(0.002, 0.02), random.Between(-0.5, 0.5), random.Between(-0.5, 0.5),
                 random.Between(-0.5, 0.5));
    ++counts.vectors;
  }

  const auto observation = [&](const char* type, const std::string& point, double direction,
                               double zenith, double distance, bool feet, double prism) {
    const double factor = feet ? 3.28083333333333 : 1.0;
    std::fprintf(out,
                 "  <Observation>\n    <ObsType>%s</ObsType>\n"
                 "    <DistanceUnitIndicator>%s</DistanceUnitIndicator>\n"
                 "    <AngleUnitIndicator>DMS</AngleUnitIndicator>\n"
                 "    <PointNumber>%s</PointNumber>\n    <Code>TRAV</Code>\n"
                 "    <PrismHeight>%.3f</PrismHeight>\n"
                 "    <HorizontalAngle>%s</HorizontalAngle>\n"
                 "    <ZenithAngle>%s</ZenithAngle>\n"
                 "    <SlopeDistance>%.4f</SlopeDistance>\n  </Observation>\n",
                 type, feet ? "USFeet" : "Meters", point.c_str(), prism * factor,
                 detail::Packed(direction).c_str(), detail::Packed(zenith).c_str(),
                 distance * factor);
    ++counts.observations;
  };
  for (int32_t i = 0; i < size.setups; ++i) {
    const int32_t at = random.Below(size.stations);
    const std::string back = PointName((at + 1) % size.stations);
    const std::string fore = PointName((at + 2) % size.stations);
    std::fprintf(out,
                 "  <Station>\n    <StationPoint>%s</StationPoint>\n"
                 "    <StationCode>TRAV</StationCode>\n"
                 "    <InstrumentHeight>%.3f</InstrumentHeight>\n  </Station>\n",
                 PointName(at).c_str(), random.Between(1.2, 1.8));
    const double back_direction = random.Between(0.0, 0.01);
    const double fore_direction = random.Between(0.0, 360.0);
    const double back_zenith = random.Between(85.0, 95.0);
    const double fore_zenith = random.Between(85.0, 95.0);
    const double back_distance = random.Between(50.0, 800.0);
    const double fore_distance = random.Between(50.0, 800.0);
    const bool feet = i % 10 == 0;
    for (int pass = 0; pass < 2; ++pass) {
      // Face one, then face two: the direction turned by half a circle, the zenith mirrored.
      observation("Backsight", back, back_direction, back_zenith, back_distance, false, 1.5);
      observation("Backsight", back, back_direction + 180.0, 360.0 - back_zenith, back_distance,
                  false, 1.5);
      if (pass == 1) break;
      observation("Foresight", fore, fore_direction, fore_zenith, fore_distance, feet, 1.6);
      observation("Foresight", fore, fore_direction + 180.0, 360.0 - fore_zenith, fore_distance,
                  feet, 1.6);
    }
    counts.records += 2;
  }
  counts.records += counts.vectors;

  std::fprintf(out, "</data>\n");
  if (std::ferror(out) || std::fflush(out) != 0) return false;
  counts.bytes = std::ftell(out);
  return true;
}

}  // namespace fenwix::bench
