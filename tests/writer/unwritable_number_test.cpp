// A number no record field can hold (not finite, or hundreds of digits long) fails the write
// with a reason instead of reaching the file; the same record with sound numbers is written.

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>

#include "capture_file.h"
#include "writer/fixed_decimal.h"
#include "writer/record_writer.h"

namespace fenwix {
namespace {

struct Planted {
  const char* what;
  ObsKind kind;
  double ObsValues::*field;
  double absurd;
  const char* keyword;  // of the record the sound control writes
};

const Planted CASES[] = {
    {"vector SD past a square's range", ObsKind::GpsVector, &ObsValues::sx, 1e308, "$GPS_COMPACT"},
    {"vector component", ObsKind::GpsVector, &ObsValues::dx, -1e300, "$GPS_COMPACT"},
    {"horizontal angle", ObsKind::AngleSet, &ObsValues::horiz_angle, 1e300, "$HOR_COMPACT"},
    {"slope distance", ObsKind::AngleSet, &ObsValues::slope_dist, NAN, "$HOR_COMPACT"},
    {"zenith angle", ObsKind::Sight, &ObsValues::zenith, INFINITY, "$ZENITH_ONLY"},
    {"instrument height", ObsKind::Sight, &ObsValues::instr_height, 2e16, "$CHORD_ONLY"},
};

ObsRecord SoundRecord(ObsKind kind) {
  ObsRecord obs;
  obs.kind = kind;
  obs.at_name = "S1";
  if (kind == ObsKind::GpsVector) {
    obs.fore_name = "R2";
    obs.dx = 123.456;
    obs.dy = -45.678;
    obs.dz = 9.012;
    obs.sx = 0.001;
    obs.sy = 0.002;
    obs.sz = 0.003;
    return obs;
  }
  obs.fore_name = "S2";
  obs.back_name = "S3";
  obs.horiz_angle = 1.25;
  obs.zenith = 1.5;
  obs.slope_dist = 150.125;
  obs.instr_height = 1.5;
  obs.target_height = 1.8;
  return obs;
}

struct Written {
  Status status;
  std::string bytes;
};

Written WriteOne(const ObsRecord& obs) {
  SurveyTables tables;
  tables.current_observation() = obs;
  tables.RecordObservation();
  WriterState state;
  state.current_linear_unit = LinearUnit::Meter;
  state.current_angle_unit = AngleUnit::Degrees;
  testing::CaptureFile file;
  Written written;
  written.status = WriteObservations(tables, state, file.out);
  written.bytes = file.Bytes();
  return written;
}

TEST(UnwritableNumber, FailsTheWriteAndNeverReachesTheFile) {
  // Twenty digits in a row, or the words a formatter gives a value that is no number.
  const std::regex unsound("[0-9]{20}|inf|nan", std::regex::icase);
  for (const Planted& c : CASES) {
    SCOPED_TRACE(c.what);
    ObsRecord planted = SoundRecord(c.kind);
    planted.*c.field = c.absurd;
    const Written bad = WriteOne(planted);
    EXPECT_EQ(bad.status.kind(), StatusKind::WriteFailed);
    EXPECT_NE(bad.status.text().find("beyond any survey value"), std::string::npos)
        << bad.status.text();
    EXPECT_FALSE(std::regex_search(bad.bytes, unsound)) << bad.bytes;

    const Written good = WriteOne(SoundRecord(c.kind));
    EXPECT_TRUE(good.status.ok()) << good.status.text();
    EXPECT_NE(good.bytes.find(c.keyword), std::string::npos) << good.bytes;
    EXPECT_FALSE(std::regex_search(good.bytes, unsound)) << good.bytes;
  }
}

TEST(UnwritableNumber, FieldLimit) {
  EXPECT_TRUE(IsWritableField(-1e15));
  EXPECT_TRUE(IsWritableField(0.0));
  EXPECT_FALSE(IsWritableField(1.0000001e15));
  EXPECT_FALSE(IsWritableField(-INFINITY));
  EXPECT_FALSE(IsWritableField(NAN));
}

}  // namespace
}  // namespace fenwix
