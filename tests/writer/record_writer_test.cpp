// Station and observation records on hand-built tables.

#include "writer/record_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "capture_file.h"
#include "geodesy/angles.h"

namespace fenwix {
namespace {

using testing::CaptureFile;
using testing::Crlf;

// Radians of an angle given as degrees, minutes and seconds.
double Angle(double degrees, double minutes, double seconds) {
  return (degrees + minutes / 60.0 + seconds / 3600.0) / DEGREES_PER_RADIAN;
}

// Tables whose stations and observations a test fills directly.
class RecordWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_.current_linear_unit = LinearUnit::Meter;
    state_.current_angle_unit = AngleUnit::Degrees;
  }

  void Record(const ObsRecord& obs) {
    tables_.current_observation() = obs;
    tables_.RecordObservation();
  }

  static ObsRecord Vector(const std::string& base, const std::string& rover) {
    ObsRecord obs;
    obs.kind = ObsKind::GpsVector;
    obs.at_name = base;
    obs.fore_name = rover;
    obs.dx = 123.456;
    obs.dy = -45.678;
    obs.dz = 9.012;
    obs.sx = 0.001;
    obs.sy = 0.002;
    obs.sz = 0.003;
    obs.cxy = 0.5;
    return obs;
  }

  // The angle set of S1 with foresight S2 and backsight S3 (90°15'30.5", 89°59'50", 150.12345).
  static ObsRecord Set(LinearUnit linear_unit = LinearUnit::Meter,
                       AngleUnit angle_unit = AngleUnit::Degrees) {
    ObsRecord obs;
    obs.kind = ObsKind::AngleSet;
    obs.at_name = "S1";
    obs.fore_name = "S2";
    obs.back_name = "S3";
    obs.linear_unit = linear_unit;
    obs.angle_unit = angle_unit;
    obs.horiz_angle = Angle(90, 15, 30.5);
    obs.zenith = Angle(89, 59, 50);
    obs.slope_dist = 150.12345;
    obs.instr_height = 1.5;
    obs.target_height = 1.8;
    return obs;
  }

  // A single sight from S1 to S4: zenith 91°, distance 50.
  static ObsRecord Sight() {
    ObsRecord obs;
    obs.kind = ObsKind::Sight;
    obs.at_name = "S1";
    obs.back_name = "S4";
    obs.zenith = Angle(91, 0, 0);
    obs.slope_dist = 50.0;
    obs.instr_height = 1.5;
    obs.target_height = 1.8;
    return obs;
  }

  std::string Observations() {
    fenwix::Status error;
    error = WriteObservations(tables_, state_, file_.out);
    EXPECT_TRUE(error.ok());
    return file_.Bytes();
  }

  std::string Stations(bool geodetic, bool local) {
    fenwix::Status error;
    error = WriteStations(geodetic, local, tables_, state_, file_.out);
    EXPECT_TRUE(error.ok());
    return file_.Bytes();
  }

  // The observation pass with the given groups: each is followed by an empty line pair.
  static std::string Pass(const std::string& gps, const std::string& sights,
                          const std::string& sets) {
    return Crlf("\n\n" + gps + "\n\n" + sights + "\n\n" + sets + "\n\n");
  }

  SurveyTables tables_;
  WriterState state_;
  CaptureFile file_;
};

constexpr const char* HOR_COMPACT_FULL =
    "$HOR_COMPACT; S1; S2; S3; 90.153050; 5.000; 89.595000; 5.000; 150.12345; 0.00500; 1.50000; "
    "1.80000\n\n";

TEST_F(RecordWriterTest, StationsWithBothKindsOfCoordinates) {
  tables_.AddStation("S1");
  tables_.AddStation("S2");
  tables_.AddStation("S3");
  StationRecord& s1 = tables_.station(1);
  s1.latitude = Angle(45, 30, 15.12345);
  s1.longitude = -Angle(120, 10, 5);
  s1.height = 123.456;
  s1.north = 5000.123;
  s1.east = 2000.456;
  s1.elevation = 101.0;
  s1.coords_known = true;
  // S2 has no coordinates but a description; S3 was merged into S1.
  tables_.station(2).description = "Brass cap";
  tables_.station(3).merged_into = 1;
  EXPECT_EQ(Stations(true, true),
            Crlf("\n\n"
                 "$GEO_COMPACT; S1; 45.301512345; 0.0; -120.100500000; 0.0; 123.45600; 0.0; "
                 "0.0; 0.0; 123.45600; 0.0; 0.0; 0.0; 0.0; 0.0\n"
                 "$LOCAL_COMPACT; S1; 5000.12300; 2000.45600; 101.00000\n"
                 "\n"
                 "$GEO_COMPACT; S2; 0.000000000; 0.0; 0.000000000; 0.0; 0.00000; 0.0; 0.0; "
                 "0.0; 0.00000; 0.0; 0.0; 0.0; 0.0; 0.0\n"
                 "$LOCAL_COMPACT; S2; 0.00000; 0.00000; 0.00000\n"
                 "$STA_DESC; S2; Brass cap\n"
                 "\n"));
}

TEST_F(RecordWriterTest, StationsOfOneKindOrNone) {
  tables_.AddStation("A");
  tables_.station(1).north = 1.25;
  tables_.station(1).east = -2.5;
  tables_.station(1).elevation = 3.0;
  EXPECT_EQ(Stations(false, true), Crlf("\n\n$LOCAL_COMPACT; A; 1.25000; -2.50000; 3.00000\n\n"));

  CaptureFile geodetic_only;
  fenwix::Status error;
  error = WriteStations(true, false, tables_, state_, geodetic_only.out);
  EXPECT_TRUE(error.ok());
  EXPECT_EQ(geodetic_only.Bytes(),
            Crlf("\n\n$GEO_COMPACT; A; 0.000000000; 0.0; 0.000000000; 0.0; 0.00000; 0.0; 0.0; "
                 "0.0; 0.00000; 0.0; 0.0; 0.0; 0.0; 0.0\n\n"));

  CaptureFile neither;
  error = WriteStations(false, false, tables_, state_, neither.out);
  EXPECT_TRUE(error.ok());
  EXPECT_EQ(neither.Bytes(), "\r\n\r\n");
}

TEST_F(RecordWriterTest, StationInOtherUnitGetsUnitsBlock) {
  tables_.AddStation("F");
  tables_.station(1).linear_unit = LinearUnit::UsFoot;
  tables_.station(1).north = 1200.0;
  EXPECT_EQ(Stations(false, true),
            Crlf("\n\n$UNITS\nU\nD\n1\n\n$LOCAL_COMPACT; F; 3937.00000; 0.00000; 0.00000\n\n"));
  EXPECT_EQ(state_.current_linear_unit, LinearUnit::UsFoot);
}

TEST_F(RecordWriterTest, GpsVectorWithCovarianceTerms) {
  ObsRecord fixed = Vector("B1", "R2");
  fixed.description = "Fixed";
  Record(fixed);
  // Every correlation set, so that each term shows which deviations it multiplies.
  ObsRecord correlated = Vector("B1", "R3");
  correlated.cxz = 0.25;
  correlated.cyz = -0.1;
  Record(correlated);
  EXPECT_EQ(Observations(),
            Pass("$OBS_DESC; Fixed\n"
                 "$GPS_COMPACT; B1; R2; 123.45600; -45.67800; 9.01200; 0.000001000000; "
                 "0.000001000000; 0.000004000000; 0.000000000000; 0.000000000000; "
                 "0.000009000000\n\n"
                 "$GPS_COMPACT; B1; R3; 123.45600; -45.67800; 9.01200; 0.000001000000; "
                 "0.000001000000; 0.000004000000; 0.000000750000; -0.000000600000; "
                 "0.000009000000\n\n",
                 "", ""));
}

TEST_F(RecordWriterTest, GpsVectorWithMissingComponentLeavesNoTrace) {
  for (double ObsRecord::*component : {&ObsRecord::dx, &ObsRecord::dy, &ObsRecord::dz}) {
    ObsRecord partial = Vector("B1", "R9");
    partial.*component = MISSING_VALUE;
    partial.description = "Float";
    Record(partial);
  }
  EXPECT_EQ(Observations(), Pass("", "", ""));
}

TEST_F(RecordWriterTest, AngleSetRecordFormsByWhatWasObserved) {
  Record(Set());
  ObsRecord no_distance = Set();
  no_distance.slope_dist = MISSING_VALUE;
  Record(no_distance);
  ObsRecord no_zenith = Set();
  no_zenith.zenith = MISSING_VALUE;
  no_zenith.description = "Face one";
  Record(no_zenith);
  ObsRecord angle_only = Set();
  angle_only.zenith = MISSING_VALUE;
  angle_only.slope_dist = MISSING_VALUE;
  Record(angle_only);
  ObsRecord nothing = Set();
  nothing.horiz_angle = MISSING_VALUE;
  nothing.zenith = MISSING_VALUE;
  nothing.slope_dist = MISSING_VALUE;
  nothing.description = "Empty";
  Record(nothing);
  EXPECT_EQ(Observations(),
            Pass("", "",
                 std::string(HOR_COMPACT_FULL) +
                     "$HOR_COMPACT; S1; S2; S3; 90.153050; 5.000; 89.595000; 5.000; NOOBS; NOOBS; "
                     "1.50000; 1.80000\n\n"
                     "$OBS_DESC; Face one\n"
                     "$HOR_COMPACT; S1; S2; S3; 90.153050; 5.000; NOOBS; NOOBS; 150.12345; "
                     "0.00500; 1.50000; 1.80000\n\n"
                     "$HORIZ_ANGLE_ONLY; S1; S2; S3; 90.153050; 5.000; 1.50000; 1.80000\n\n"));
}

TEST_F(RecordWriterTest, AngleSetInGons) {
  ObsRecord set = Set(LinearUnit::Meter, AngleUnit::Gons);
  set.zenith = Angle(91, 0, 0);
  Record(set);
  // 90°15'30.5" is 100.2871913... gons; the 5" deviations become centesimal seconds.
  EXPECT_EQ(Observations(),
            Pass("", "",
                 "$UNITS\nM\nG\n1\n\n"
                 "$HOR_COMPACT; S1; S2; S3; 100.287191; 15.432; 101.111111; 15.432; 150.12345; "
                 "0.00500; 1.50000; 1.80000\n\n"));
  EXPECT_EQ(state_.current_angle_unit, AngleUnit::Gons);
}

TEST_F(RecordWriterTest, UsFeetSetBetweenSetsInMeters) {
  Record(Set());
  Record(Set(LinearUnit::UsFoot));
  Record(Set());
  // Distance, its deviation (0.005 m) and both heights in US survey feet; angles unchanged.
  EXPECT_EQ(Observations(),
            Pass("", "",
                 std::string(HOR_COMPACT_FULL) +
                     "$UNITS\nU\nD\n1\n\n"
                     "$HOR_COMPACT; S1; S2; S3; 90.153050; 5.000; 89.595000; 5.000; 492.53002; "
                     "0.01640; 4.92125; 5.90550\n\n"
                     "$UNITS\nM\nD\n1\n\n" +
                     HOR_COMPACT_FULL));
  EXPECT_EQ(state_.current_linear_unit, LinearUnit::Meter);
}

TEST_F(RecordWriterTest, SightBecomesZenithAndChordRecords) {
  Record(Sight());
  ObsRecord zenith_only = Sight();
  zenith_only.slope_dist = MISSING_VALUE;
  zenith_only.description = "BS check";
  Record(zenith_only);
  ObsRecord chord_only = Sight();
  chord_only.zenith = MISSING_VALUE;
  Record(chord_only);
  ObsRecord described = Sight();
  described.description = "Two";
  Record(described);
  ObsRecord nothing = Sight();
  nothing.zenith = MISSING_VALUE;
  nothing.slope_dist = MISSING_VALUE;
  nothing.description = "Never";
  Record(nothing);
  const std::string zenith = "$ZENITH_ONLY; S1; S4; 91.000000; 5.000; 1.50000; 1.80000\n\n";
  const std::string chord = "$CHORD_ONLY; S1; S4; 50.00000; 0.00500; 1.50000; 1.80000\n\n";
  EXPECT_EQ(Observations(), Pass("",
                                 zenith + chord + "$OBS_DESC; BS check\n" + zenith + chord +
                                     "$OBS_DESC; Two\n" + zenith + "$OBS_DESC; Two\n" + chord,
                                 ""));
}

TEST_F(RecordWriterTest, AngleSetWithoutHorizontalAngleKeepsWhatWasObserved) {
  ObsRecord both = Set();
  both.horiz_angle = MISSING_VALUE;
  both.description = "Set 4";
  Record(both);
  ObsRecord zenith_only = Set();
  zenith_only.horiz_angle = MISSING_VALUE;
  zenith_only.slope_dist = MISSING_VALUE;
  Record(zenith_only);
  ObsRecord distance_in_feet = Set(LinearUnit::UsFoot);
  distance_in_feet.horiz_angle = MISSING_VALUE;
  distance_in_feet.zenith = MISSING_VALUE;
  Record(distance_in_feet);
  // From the occupied station to the foresight point; no angle column is invented.
  EXPECT_EQ(Observations(), Pass("", "",
                                 "$OBS_DESC; Set 4\n"
                                 "$ZENITH_ONLY; S1; S2; 89.595000; 5.000; 1.50000; 1.80000\n\n"
                                 "$OBS_DESC; Set 4\n"
                                 "$CHORD_ONLY; S1; S2; 150.12345; 0.00500; 1.50000; 1.80000\n\n"
                                 "$ZENITH_ONLY; S1; S2; 89.595000; 5.000; 1.50000; 1.80000\n\n"
                                 "$UNITS\nU\nD\n1\n\n"
                                 "$CHORD_ONLY; S1; S2; 492.53002; 0.01640; 4.92125; 5.90550\n\n"));
}

TEST_F(RecordWriterTest, KindsAreGroupedInFixedOrder) {
  Record(Set());
  Record(Sight());
  Record(Vector("B1", "R2"));
  ObsRecord unknown = Set();
  unknown.kind = ObsKind::None;
  Record(unknown);
  Record(Vector("B2", "R2"));
  const std::string text = Observations();
  const std::string gps1 = "$GPS_COMPACT; B1; R2;";
  const std::string gps2 = "$GPS_COMPACT; B2; R2;";
  ASSERT_NE(text.find(gps1), std::string::npos);
  EXPECT_LT(text.find(gps1), text.find(gps2));
  EXPECT_LT(text.find(gps2), text.find("$ZENITH_ONLY"));
  EXPECT_LT(text.find("$CHORD_ONLY"), text.find("$HOR_COMPACT"));
  // The row of no kind is not written: one angle set only.
  EXPECT_EQ(text.find("$HOR_COMPACT"), text.rfind("$HOR_COMPACT"));
}

TEST_F(RecordWriterTest, EmptyTablesWriteOnlySeparators) {
  EXPECT_EQ(Observations(), Crlf("\n\n\n\n\n\n\n\n"));
  CaptureFile stations;
  fenwix::Status error;
  error = WriteStations(true, true, tables_, state_, stations.out);
  EXPECT_TRUE(error.ok());
  EXPECT_EQ(stations.Bytes(), Crlf("\n\n"));
}

TEST_F(RecordWriterTest, MergedStationKeepsItsObservations) {
  ObsRecord set = Set();
  Record(set);  // adds S1, S2, S3
  tables_.station(2).merged_into = 1;
  const std::string stations = Stations(false, true);
  EXPECT_EQ(stations.find("; S2;"), std::string::npos);
  EXPECT_NE(stations.find("$LOCAL_COMPACT; S3;"), std::string::npos);
  CaptureFile obs_file;
  fenwix::Status error;
  error = WriteObservations(tables_, state_, obs_file.out);
  EXPECT_NE(obs_file.Bytes().find(Crlf(HOR_COMPACT_FULL)), std::string::npos);
}

TEST_F(RecordWriterTest, VectorMergedOntoItsBaseIsKeptAsCommentLines) {
  Record(Vector("B1", "R2"));
  tables_.station(2).merged_into = 1;
  CaptureFile obs_file;
  fenwix::Status error;
  error = WriteObservations(tables_, state_, obs_file.out);
  EXPECT_TRUE(error.ok());
  // Every record line gets the prefix, the empty line after it does not.
  EXPECT_NE(obs_file.Bytes().find(Crlf("itself once merged names are used; kept as a comment:\n"
                                       "! $GPS_COMPACT; B1; R2; 123.45600; ")),
            std::string::npos);
  EXPECT_NE(obs_file.Bytes().find(Crlf("; 0.000009000000\n\n\n\n")), std::string::npos);
}

}  // namespace
}  // namespace fenwix

namespace fenwix {
namespace {

// A blank <PointNumber/> followed by indentation takes the line break and blanks as its name;
// written unchanged it would split the record over two lines of the output file.
TEST(RecordWriter, ControlCharactersInNamesNeverBreakARecordLine) {
  SurveyTables tables;
  tables.SetObsKind(ObsKind::Sight);
  tables.SetObsName(ObsNameField::At, "S1");
  tables.SetObsName(ObsNameField::Back, "\n      ");
  tables.SetObsName(ObsNameField::Description, "two\r\nlines\tand tab");
  tables.SetObsValue(ObsValueField::Zenith, HALF_PI);
  tables.RecordObservation();
  WriterState state;
  state.current_linear_unit = LinearUnit::Meter;
  state.current_angle_unit = AngleUnit::Degrees;
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  OutputFile out;
  out.Attach(stream);
  fenwix::Status error;
  error = WriteObservations(tables, state, out);
  ASSERT_TRUE(out.Flush());
  EXPECT_TRUE(error.ok());
  std::rewind(stream);
  std::string text;
  for (int c = std::fgetc(stream); c != EOF; c = std::fgetc(stream)) text.push_back(char(c));
  std::fclose(stream);
  EXPECT_NE(text.find("$OBS_DESC; two  lines and tab\r\n$ZENITH_ONLY; S1;        ; 90.000000; "
                      "5.000; 0.00000; 0.00000\r\n\r\n"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace fenwix
