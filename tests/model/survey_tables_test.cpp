#include "model/survey_tables.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace fenwix
