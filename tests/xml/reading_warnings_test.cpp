// Values that may have been misread are reported with their line, and read as before.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/reading_warnings.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"

namespace fenwix {
namespace {

struct Expected {
  int32_t line;
  const char* element;
  const char* problem;
};

std::vector<ReadingWarning> WarningsOf(const std::string& file, AngleUnit angle_unit,
                                       size_t chunk_size, bool* misread_recorded = nullptr) {
  SurveyTables tables;
  ReadingWarnings warnings;
  XmlContentHandler handler(tables);
  handler.SetJobUnits(LinearUnit::Meter, angle_unit);
  handler.AttachWarnings(&warnings);
  SaxReader reader;
  reader.Attach(&handler);
  reader.set_chunk_size(chunk_size);
  EXPECT_EQ(reader.ParseFile(std::string(FENWIX_TEST_DATA) + "/" + file).kind(), StatusKind::Ok);
  if (misread_recorded != nullptr) *misread_recorded = warnings.misread_recorded();
  return warnings.kept();
}

void ExpectWarnings(const std::vector<ReadingWarning>& found, const std::vector<Expected>& want) {
  ASSERT_EQ(found.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(found[i].source.line, want[i].line) << i;
    EXPECT_EQ(found[i].element, want[i].element) << i;
    EXPECT_EQ(found[i].problem.rfind(want[i].problem, 0), 0u) << found[i].problem;
    EXPECT_FALSE(found[i].assumed.empty() || found[i].advice.empty()) << i;
  }
}

// One planted case per kind, each on its own line; however Expat splits the file.
TEST(ReadingWarnings, EachPlantedCaseWithItsLine) {
  for (const size_t chunk : {size_t{65536}, size_t{3}}) {
    ExpectWarnings(WarningsOf("xml/unit_warnings.xml", AngleUnit::Degrees, chunk),
                   {{4, "DX", "is empty"},
                    {8, "DistanceUnitIndicator", "says feet"},
                    {9, "AngleUnitIndicator", "says gons"},
                    {10, "HorizontalAngle", "has 75 minutes and 90 seconds"},
                    {12, "SlopeDistance", "has a decimal comma"},
                    {14, "DistanceUnitIndicator", "is not exactly \"USFeet\""},
                    {14, "SlopeDistance", "has text after the number"},
                    {17, "SlopeDistance", "is beyond the range"},
                    {19, "DZ", "is empty"},
                    {19, "Vector", "from B1 to R3 has no DZ"}});
    // Read as gons, the gon indicator agrees and the packed-angle test gives way to the circle.
    ExpectWarnings(WarningsOf("xml/unit_warnings.xml", AngleUnit::Gons, chunk),
                   {{4, "DX", "is empty"},
                    {8, "DistanceUnitIndicator", "says feet"},
                    {12, "SlopeDistance", "has a decimal comma"},
                    {14, "DistanceUnitIndicator", "is not exactly \"USFeet\""},
                    {14, "AngleUnitIndicator", "says DD.MMSSsssss"},
                    {14, "SlopeDistance", "has text after the number"},
                    {15, "ZenithAngle", "is more than 400 gons"},
                    {17, "SlopeDistance", "is beyond the range"},
                    {19, "DZ", "is empty"},
                    {19, "Vector", "from B1 to R3 has no DZ"}});
  }
  const ReadingWarning comma = WarningsOf("xml/unit_warnings.xml", AngleUnit::Degrees, 65536)[4];
  EXPECT_EQ(comma.text, "225,4101");
  EXPECT_EQ(comma.assumed, "read as 225.4101, the comma taken for a decimal point");
}

// Elements the adjustment file leaves out, each with its line, beside a complete one of each
// kind; a misread value only in them is not in the output, one in a written record is.
TEST(ReadingWarnings, LeftOutElementsAndTheMisreadValuesWritten) {
  bool written = true;
  const auto found = WarningsOf("xml/left_out.xml", AngleUnit::Degrees, 3, &written);
  ExpectWarnings(found, {{4, "Vector", "from B1 to R3 has no DZ"},
                         {8, "PrismHeight", "has a decimal comma"},
                         {8, "Foresight", "has no zenith angle and no slope distance"}});
  EXPECT_EQ(std::count_if(found.begin(), found.end(),
                          [](const auto& w) { return w.kind == WarningKind::LeftOut; }),
            2);
  EXPECT_FALSE(written);
  WarningsOf("xml/unit_warnings.xml", AngleUnit::Degrees, 65536, &written);
  EXPECT_TRUE(written);
}

TEST(ReadingWarnings, CleanJobsGiveNone) {
  for (const char* file : {"writer/total_station.xml", "writer/us_feet.xml", "app/merge_job.xml"}) {
    EXPECT_TRUE(WarningsOf(file, AngleUnit::Degrees, 65536).empty()) << file;
  }
}

}  // namespace
}  // namespace fenwix
