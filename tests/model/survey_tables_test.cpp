#include "model/survey_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fenwix {
namespace {

void RecordVector(SurveyTables& t, const std::string& base, const std::string& rover) {
  t.SetObsKind(ObsKind::GpsVector);
  t.SetObsName(ObsNameField::At, base);
  t.SetObsName(ObsNameField::Fore, rover);
  t.RecordObservation();
}

TEST(SurveyTables, ResetLeavesOnlyPlaceholderRows) {
  SurveyTables t;
  RecordVector(t, "A", "B");
  t.ResetTables();
  ASSERT_EQ(t.station_count(), 1);
  ASSERT_EQ(t.observation_count(), 1);
  EXPECT_EQ(t.observations()[0].kind, ObsKind::None);
  EXPECT_TRUE(t.stations()[0].name.empty());
  EXPECT_EQ(t.FindStation("A"), 0);
  // After a reset a name seen before is new again and gets row 1.
  RecordVector(t, "B", "A");
  EXPECT_EQ(t.StationIndex("B"), 1);
  EXPECT_EQ(t.StationIndex("A"), 2);
}

TEST(SurveyTables, StationsAppearInFirstMentionOrderAndOnlyOnce) {
  SurveyTables t;
  RecordVector(t, "S1", "S2");
  t.SetObsKind(ObsKind::AngleSet);
  t.SetObsName(ObsNameField::At, "S3");
  t.SetObsName(ObsNameField::Fore, "S1");
  t.SetObsName(ObsNameField::Back, "S4");
  t.RecordObservation();
  t.SetObsKind(ObsKind::Sight);
  t.SetObsName(ObsNameField::At, "S3");
  t.SetObsName(ObsNameField::Back, "S5");
  t.RecordObservation();
  ASSERT_EQ(t.station_count(), 6);
  const char* expected[] = {"", "S1", "S2", "S3", "S4", "S5"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(t.stations()[i].name, expected[i]) << i;
  EXPECT_EQ(t.observation_count(), 4);
  EXPECT_EQ(t.Observation(3).fore_name, "");
}

TEST(SurveyTables, NamesMatchExactly) {
  SurveyTables t;
  RecordVector(t, "abc", "ABC");
  RecordVector(t, "abc ", "abc");
  EXPECT_EQ(t.station_count(), 4);
  EXPECT_EQ(t.StationIndex("ABC"), 2);
  EXPECT_EQ(t.StationIndex("abc "), 3);
  EXPECT_EQ(t.StationIndex("ab"), 0);
  EXPECT_FALSE(t.AddStation("abc"));
  EXPECT_TRUE(t.AddStation("Abc"));
}

TEST(SurveyTables, EmptyNamesNeverBecomeStations) {
  SurveyTables t;
  t.SetObsKind(ObsKind::GpsVector);
  t.RecordObservation();
  EXPECT_EQ(t.station_count(), 1);
  EXPECT_EQ(t.observation_count(), 2);
}

TEST(SurveyTables, FindStationMarksTheRowKnown) {
  SurveyTables t;
  RecordVector(t, "A", "B");
  EXPECT_EQ(t.FindStation("B"), 2);
  EXPECT_TRUE(t.stations()[2].coords_known);
  EXPECT_FALSE(t.stations()[1].coords_known);
  EXPECT_EQ(t.FindStation("C"), 0);
  EXPECT_FALSE(t.stations()[0].coords_known);
}

TEST(SurveyTables, SettersDependOnTheKind) {
  SurveyTables t;
  t.SetObsKind(ObsKind::Sight);
  t.SetObsValue(ObsValueField::HorizAngle, 1.0);
  t.SetObsValue(ObsValueField::Zenith, 1.5);
  t.SetObsValue(ObsValueField::X, 7.0);
  t.SetObsSigma(VectorAxis::X, 0.1);
  t.SetObsCorrelation(VectorCorrelation::XY, 0.2);
  EXPECT_EQ(t.current_observation().horiz_angle, MISSING_VALUE);
  EXPECT_EQ(t.current_observation().zenith, 1.5);
  EXPECT_EQ(t.current_observation().dx, MISSING_VALUE);
  EXPECT_EQ(t.current_observation().sx, 0.0);
  EXPECT_EQ(t.current_observation().cxy, 0.0);

  t.SetObsKind(ObsKind::AngleSet);
  t.SetObsValue(ObsValueField::X, 3.0);
  t.SetObsValue(ObsValueField::HorizAngle, 2.0);
  t.SetObsValue(ObsValueField::SlopeDist, 99.0);
  EXPECT_EQ(t.current_observation().horiz_angle, 2.0);
  EXPECT_EQ(t.current_observation().slope_dist, 99.0);
  EXPECT_EQ(t.current_observation().dx, MISSING_VALUE);

  t.SetObsKind(ObsKind::GpsVector);
  t.SetObsValue(ObsValueField::Z, 3.0);
  t.SetObsSigma(VectorAxis::Y, 0.02);
  t.SetObsCorrelation(VectorCorrelation::YZ, 0.3);
  t.SetObsCorrelation(VectorCorrelation::XZ, 0.4);
  EXPECT_EQ(t.current_observation().dz, 3.0);
  EXPECT_EQ(t.current_observation().sy, 0.02);
  EXPECT_EQ(t.current_observation().cyz, 0.3);
  EXPECT_EQ(t.current_observation().cxz, 0.4);
}

TEST(SurveyTables, SetObsKindClearsNamesAndUnits) {
  SurveyTables t;
  t.SetObsKind(ObsKind::AngleSet);
  t.SetObsName(ObsNameField::At, "S1");
  t.SetObsName(ObsNameField::Description, "d");
  t.SetObsLinearUnit(LinearUnit::UsFoot);
  t.SetObsAngleUnit(AngleUnit::Gons);
  t.SetObsHeight(true, 1.5);
  t.SetObsHeight(false, 1.8);
  EXPECT_EQ(t.current_observation().linear_unit, LinearUnit::UsFoot);
  EXPECT_EQ(t.current_observation().angle_unit, AngleUnit::Gons);
  EXPECT_EQ(t.current_observation().instr_height, 1.5);
  EXPECT_EQ(t.current_observation().target_height, 1.8);
  t.SetObsKind(ObsKind::Sight);
  const ObsRecord& obs = t.current_observation();
  EXPECT_TRUE(obs.at_name.empty());
  EXPECT_TRUE(obs.description.empty());
  EXPECT_EQ(obs.linear_unit, LinearUnit::Meter);
  EXPECT_EQ(obs.angle_unit, AngleUnit::Degrees);
  EXPECT_EQ(obs.instr_height, 0.0);
  EXPECT_EQ(obs.kind, ObsKind::Sight);
}

TEST(Units, FactorsAreTheExactLiterals) {
  EXPECT_EQ(LinearFactor(LinearUnit::InternationalFoot), 3.28083989501312);
  EXPECT_EQ(LinearFactor(LinearUnit::Meter), 1.0);
  EXPECT_EQ(LinearFactor(LinearUnit::UsFoot), 3.28083333333333);
  EXPECT_EQ(LinearFactor(static_cast<LinearUnit>(7)), 1.0);
  EXPECT_EQ(AngleSigmaFactor(AngleUnit::Degrees), 1.0);
  EXPECT_NEAR(AngleSigmaFactor(AngleUnit::Gons), 3.0864197530864, 1e-12);
  EXPECT_EQ(AngleSigmaFactor(static_cast<AngleUnit>(3)), 1.0);
}

TEST(SurveyTables, LookupStaysFastAndCorrectForManyStations) {
  SurveyTables t;
  for (int i = 0; i < 20000; ++i)
    RecordVector(t, "P" + std::to_string(i), "P" + std::to_string(i + 1));
  EXPECT_EQ(t.station_count(), 20002);
  EXPECT_EQ(t.StationIndex("P0"), 1);
  EXPECT_EQ(t.StationIndex("P20000"), 20001);
  EXPECT_EQ(t.stations()[12345].name, "P12344");
}

// The fields in which two records differ, by name.
std::vector<std::string> Differences(const ObsRecord& a, const ObsRecord& b) {
  std::vector<std::string> out;
  const auto check = [&out](bool same, const char* field) {
    if (!same) out.push_back(field);
  };
  check(a.kind == b.kind, "kind");
  check(a.linear_unit == b.linear_unit, "linear_unit");
  check(a.angle_unit == b.angle_unit, "angle_unit");
  const double ObsValues::*numbers[] = {
      &ObsValues::horiz_angle,  &ObsValues::zenith,       &ObsValues::slope_dist, &ObsValues::dx,
      &ObsValues::dy,           &ObsValues::dz,           &ObsValues::sx,         &ObsValues::sy,
      &ObsValues::sz,           &ObsValues::cxy,          &ObsValues::cxz,        &ObsValues::cyz,
      &ObsValues::instr_height, &ObsValues::target_height};
  for (const auto field : numbers) check(a.*field == b.*field, "number");
  check(a.at_name == b.at_name, "at_name");
  check(a.fore_name == b.fore_name, "fore_name");
  check(a.back_name == b.back_name, "back_name");
  check(a.description == b.description, "description");
  return out;
}

// A record cleared after use is a fresh record in every field; the planted difference in each
// field of a filled record shows that the comparison sees it.
TEST(SurveyTables, ClearedRecordIsAFreshOne) {
  ObsRecord filled;
  filled.kind = ObsKind::GpsVector;
  filled.linear_unit = LinearUnit::UsFoot;
  filled.angle_unit = AngleUnit::Gons;
  filled.horiz_angle = filled.zenith = filled.slope_dist = 1.5;
  filled.dx = filled.dy = filled.dz = filled.sx = filled.sy = filled.sz = 2.5;
  filled.cxy = filled.cxz = filled.cyz = filled.instr_height = filled.target_height = 3.5;
  filled.at_name = std::string(40, 'a');  // beyond any short-string room
  filled.fore_name = "F";
  filled.back_name = std::string(40, 'b');
  filled.description = "Static";
  const ObsRecord fresh;
  EXPECT_EQ(Differences(filled, fresh).size(), 21u);
  ObsRecord cleared = filled;
  ClearObservation(cleared);
  EXPECT_TRUE(Differences(cleared, fresh).empty());
  cleared.fore_name = "F";
  EXPECT_EQ(Differences(cleared, fresh), std::vector<std::string>{"fore_name"});
}

// Names that share bytes, differ only by zero bytes or by their length, and sit either side of
// the longest name the index keeps in full: each is its own station, and each found again is
// the row it was given.
TEST(SurveyTables, NamesAlikeInTheirBytesStayApart) {
  using namespace std::string_literals;
  const std::vector<std::string> names = {"A"s,        "A\0"s,      "\0A"s,
                                          "\0"s,       "AAAAAAA"s,  "AAAAAAA\0"s,
                                          "AAAAAAAA"s, "AAAAAAAB"s, "BAAAAAAA"s,
                                          "AAAAAAA "s, "\xff"s,     "\xff\xff\xff\xff\xff\xff\xff"s,
                                          "P0000001"s, "P000001"s,  "P00001"s,
                                          "1000000"s,  "0100000"s,  "0000001"s};
  SurveyTables t;
  for (const std::string& name : names) EXPECT_TRUE(t.AddStation(name)) << name;
  // Many short names of one pattern besides: their packed words differ in a single byte.
  for (int i = 0; i < 5000; ++i) EXPECT_TRUE(t.AddStation("Q" + std::to_string(i)));
  EXPECT_EQ(t.station_count(), static_cast<int32_t>(names.size()) + 5000 + 1);
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(t.StationIndex(names[i]), static_cast<int32_t>(i) + 1) << i;
    EXPECT_FALSE(t.AddStation(names[i])) << i;
  }
  for (int i = 0; i < 5000; i += 499) {
    EXPECT_EQ(t.StationIndex("Q" + std::to_string(i)), static_cast<int32_t>(names.size()) + i + 1);
  }
  EXPECT_EQ(t.StationIndex("AAAAAA"), 0);
  EXPECT_EQ(t.StationIndex("Q5000"), 0);
}

}  // namespace
}  // namespace fenwix
