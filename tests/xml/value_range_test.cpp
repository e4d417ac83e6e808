// Numbers beyond what a survey can measure are left out where they are read, each with a warning
// naming its line, and never reach the tables; the same fields with sound values are read.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/reading_warnings.h"
#include "xml/number_reading.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"
#include "xml_test_support.h"

namespace fenwix {
namespace {

using testing::DEGREE;
using testing::TempFile;

// One vector (record 1) and one foresight (record 2) turned from a backsight read without a
// zenith angle or distance (no record of its own); each field's text is put in its place.
struct Fields {
  std::string dx = "123.456";
  std::string sx = "0.001";
  std::string instrument_height = "1.5";
  std::string horizontal = "90.0000";
  std::string zenith = "90.0000";
  std::string distance = "150.5";
  std::string prism = "1.8";
};

std::string Document(const Fields& f) {
  return "<?xml version=\"1.0\"?>\n<data>\n"
         "<Vector><BasePoint>B1</BasePoint><RoverPoint>R2</RoverPoint>\n"  // line 3
         "<DX>" +
         f.dx + "</DX><DY>1.5</DY><DZ>2</DZ><SX>" + f.sx +
         "</SX><SY>0.002</SY><SZ>0.003</SZ></Vector>\n"  // line 4
         "<Station><StationPoint>S1</StationPoint><InstrumentHeight>" +
         f.instrument_height +
         "</InstrumentHeight><Observation><ObsType>Backsight</ObsType><PointNumber>B1"
         "</PointNumber><HorizontalAngle>0.0000</HorizontalAngle></Observation>\n"   // line 5
         "<Observation><ObsType>Foresight</ObsType><PointNumber>P3</PointNumber>\n"  // line 6
         "<HorizontalAngle>" +
         f.horizontal +
         "</HorizontalAngle>\n"  // line 7
         "<ZenithAngle>" +
         f.zenith +
         "</ZenithAngle>\n"  // line 8
         "<SlopeDistance>" +
         f.distance +
         "</SlopeDistance>\n"  // line 9
         "<PrismHeight>" +
         f.prism +
         "</PrismHeight>\n"  // line 10
         "</Observation>\n</Station>\n</data>\n";
}

struct Read {
  SurveyTables tables;
  ReadingWarnings warnings;
  ObsRecord vector() const { return tables.Observation(1); }
  ObsRecord sight() const { return tables.Observation(2); }
};

void ReadDocument(const std::string& xml, Read& read) {
  const TempFile file(xml);
  XmlContentHandler handler(read.tables);
  handler.AttachWarnings(&read.warnings);
  SaxReader reader;
  reader.Attach(&handler);
  ASSERT_TRUE(reader.ParseFile(file.path()).ok());
}

struct RangeCase {
  const char* element;
  std::string Fields::*field;
  const char* absurd;  // the planted fault
  const char* sound;   // the clean control, at or inside the limit
  int32_t line;
  const char* problem;           // how the warning starts
  double (*value)(const Read&);  // the field's value in the tables
  double left_out;               // that value when the field was left out
  double sound_value;            // that value for the sound text, worked out by hand
};

constexpr double MISSING = -999999.153;

const RangeCase CASES[] = {
    {"DX", &Fields::dx, "1e308", "-1e9", 4, "is beyond",
     [](const Read& r) { return r.vector().dx; }, MISSING, -1e9},
    {"SX", &Fields::sx, "1e-15", "1e-9", 4, "is a standard deviation",
     [](const Read& r) { return r.vector().sx; }, 0.0, 1e-9},
    {"SX", &Fields::sx, "1e308", "1e6", 4, "is a standard deviation",
     [](const Read& r) { return r.vector().sx; }, 0.0, 1e6},
    {"InstrumentHeight", &Fields::instrument_height, "1e308", "2.25", 5, "is beyond",
     [](const Read& r) { return r.sight().instr_height; }, 0.0, 2.25},
    {"SlopeDistance", &Fields::distance, "1e308", "1000000000", 9, "is beyond",
     [](const Read& r) { return r.sight().slope_dist; }, MISSING, 1e9},
    {"PrismHeight", &Fields::prism, "-2e9", "-1.25", 10, "is beyond",
     [](const Read& r) { return r.sight().target_height; }, 0.0, -1.25},
    {"ZenithAngle", &Fields::zenith, "-1e300", "88.3000", 8, "is beyond",
     [](const Read& r) { return r.sight().zenith; }, MISSING, 88.5 * DEGREE},
    // The zenith angle after a refused horizontal angle would carry the direction of no reading.
    {"HorizontalAngle", &Fields::horizontal, "1e300", "45.3000", 7, "is beyond",
     [](const Read& r) { return r.sight().horiz_angle; }, MISSING, 45.5 * DEGREE},
};

TEST(ValueRange, AbsurdValuesAreLeftOutWithTheirLineSoundOnesAreRead) {
  for (const RangeCase& c : CASES) {
    SCOPED_TRACE(std::string(c.element) + " " + c.absurd);
    Fields planted;
    planted.*c.field = c.absurd;
    Read bad;
    ReadDocument(Document(planted), bad);
    ASSERT_GE(bad.warnings.kept().size(), 1u);
    const ReadingWarning& warning = bad.warnings.kept().front();
    EXPECT_EQ(warning.element, c.element);
    EXPECT_EQ(warning.source.line, c.line);
    EXPECT_EQ(warning.problem.rfind(c.problem, 0), 0u) << warning.problem;
    EXPECT_EQ(warning.assumed.rfind("left out", 0), 0u) << warning.assumed;
    EXPECT_TRUE(bad.warnings.misread_recorded());
    EXPECT_EQ(c.value(bad), c.left_out);

    Fields control;
    control.*c.field = c.sound;
    Read good;
    ReadDocument(Document(control), good);
    EXPECT_EQ(good.warnings.count(), 0);
    EXPECT_FALSE(good.warnings.misread_recorded());
    EXPECT_NEAR(c.value(good), c.sound_value, std::fabs(c.sound_value) * 1e-12);
  }
}

// The refused horizontal angle takes the zenith angle of its reading with it, and says so.
TEST(ValueRange, ARefusedDirectionTakesItsReadingsZenithWithIt) {
  Fields planted;
  planted.horizontal = "1e300";
  Read read;
  ReadDocument(Document(planted), read);
  ASSERT_EQ(read.warnings.kept().size(), 2u);
  EXPECT_EQ(read.warnings.kept()[1].element, "ZenithAngle");
  EXPECT_EQ(read.warnings.kept()[1].source.line, 8);
  EXPECT_EQ(read.sight().zenith, MISSING);
  EXPECT_EQ(read.sight().slope_dist, 150.5);
}

TEST(ValueRange, LimitsOfEachKindOfField) {
  struct Limit {
    double value;
    FieldRange range;
    bool in;
  };
  const Limit limits[] = {
      {1e9, FieldRange::Length, true},   {-1.0000001e9, FieldRange::Length, false},
      {1e6, FieldRange::Angle, true},    {1.0000001e6, FieldRange::Angle, false},
      {0.0, FieldRange::Sd, true},       {1e-9, FieldRange::Sd, true},
      {9.99e-10, FieldRange::Sd, false}, {1e6, FieldRange::Sd, true},
      {1.01e6, FieldRange::Sd, false},   {INFINITY, FieldRange::Any, false},
      {NAN, FieldRange::Length, false},  {1e300, FieldRange::Any, true},
  };
  for (const Limit& limit : limits) {
    EXPECT_EQ(InFieldRange(limit.value, limit.range), limit.in)
        << limit.value << " " << static_cast<int>(limit.range);
  }
}

}  // namespace
}  // namespace fenwix
