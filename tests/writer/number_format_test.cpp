// The output file's numbers must read exactly as C printf writes them in the C locale, for
// every precision the formats use, and stay so under any locale: both the record writers' own
// fixed-point formatting and {fmt}, which writes the head and the numbers beyond its range.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "capture_file.h"
#include "writer/fixed_decimal.h"
#include "writer/header_writer.h"
#include "writer/record_writer.h"

namespace fenwix {
namespace {

constexpr int PRECISIONS[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};

std::string Printf(double value, int precision) {
  char text[512];
  std::snprintf(text, sizeof text, "%1.*f", precision, value);
  return text;
}

// Survey-like magnitudes, raw binary fractions (exact decimal ties at some precisions), values
// one step beside decimal ties, and arbitrary bit patterns of moderate exponent.
std::vector<double> SampleValues() {
  std::mt19937_64 random(20261208);
  std::vector<double> values = {
      0.0,   -0.0, 0.5,       -0.5, 0.0625,      -0.0625,   1.0005,        2.5e-13,
      -1e-7, 5e-6, 0.9999995, 1e15, -999999.153, 6378137.0, 298.257223563, 89.5959999999999};
  std::uniform_real_distribution<double> survey(-1e7, 1e7);
  std::uniform_real_distribution<double> small(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-45, 45);
  std::uniform_int_distribution<int64_t> numerator(-(int64_t{1} << 40), int64_t{1} << 40);
  std::uniform_int_distribution<int> shift(1, 20);
  std::uniform_int_distribution<uint64_t> bits;
  for (int i = 0; i < 20000; ++i) {
    values.push_back(survey(random));
    values.push_back(small(random) * 1e-3);
    values.push_back(std::ldexp(static_cast<double>(numerator(random)), -shift(random) - 20));
    const double tie = (std::floor(survey(random)) + 0.5) / 1e5;
    values.push_back(std::nextafter(tie, 0.0));
    values.push_back(std::nextafter(tie, 1e300));
    double pattern = 0.0;
    const uint64_t raw = bits(random);
    std::memcpy(&pattern, &raw, sizeof pattern);
    if (std::isfinite(pattern)) {
      int exp = 0;
      values.push_back(std::ldexp(std::frexp(pattern, &exp), exponent(random)));
    }
  }
  return values;
}

TEST(NumberFormat, FixedDecimalsMatchPrintfInCLocale) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  int mismatches = 0;
  const auto check = [&](const char* who, double value, int precision, const std::string& actual) {
    const std::string expected = Printf(value, precision);
    if (actual != expected && ++mismatches <= 10) {
      ADD_FAILURE() << who << " " << fmt::format("{:a}", value) << " at " << precision << ": "
                    << actual << ", printf " << expected;
    }
  };
  for (const double value : SampleValues()) {
    for (const int precision : PRECISIONS) {
      check("fmt", value, precision, fmt::format("{:.{}f}", value, precision));
      fmt::memory_buffer text;
      AppendFixed(text, value, precision);
      check("AppendFixed", value, precision, fmt::to_string(text));
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Writes one record of every kind with values that need a decimal point.
std::string WriteAllKinds() {
  SurveyTables tables;
  ObsRecord& obs = tables.current_observation();
  obs.kind = ObsKind::GpsVector;
  obs.at_name = "B1";
  obs.fore_name = "R2";
  obs.dx = 1234.5678;
  obs.dy = -0.25;
  obs.dz = 7.0;
  obs.sx = 0.0015;
  tables.RecordObservation();
  obs = ObsRecord{};
  obs.kind = ObsKind::AngleSet;
  obs.at_name = "S1";
  obs.fore_name = "S2";
  obs.back_name = "S3";
  obs.angle_unit = AngleUnit::Gons;
  obs.linear_unit = LinearUnit::UsFoot;
  obs.horiz_angle = 1.2345;
  obs.zenith = 1.5;
  obs.slope_dist = 1234.5;
  tables.RecordObservation();
  tables.AddStation("S9");
  tables.station(1).latitude = 0.7;
  tables.station(1).north = 12345.678;
  WriterState state;
  state.current_linear_unit = LinearUnit::Meter;
  state.current_angle_unit = AngleUnit::Degrees;
  testing::CaptureFile file;
  fenwix::Status error;
  error = WriteHeader(file.out, state);
  error = WriteDefaultSds(file.out, state);
  error = WriteStations(true, true, tables, state, file.out);
  error = WriteObservations(tables, state, file.out);
  return file.Bytes();
}

TEST(NumberFormat, OutputIsTheSameUnderACommaLocale) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  const std::string in_c = WriteAllKinds();
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  }
  // The locale really does use a comma, so the comparison below means something.
  ASSERT_EQ(Printf(0.5, 1), "0,5");
  const std::string in_german = WriteAllKinds();
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(in_german, in_c);
  EXPECT_EQ(in_c.find(','), std::string::npos);
}

}  // namespace
}  // namespace fenwix
