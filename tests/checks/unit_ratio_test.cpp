// A job read in the wrong unit: the report says what it looks like and which option reads it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

// GNSS vectors place every station; the total-station distances are in international feet, or
// the angles in gons. Read as meters and packed degrees, the units section names the unit and
// its option; read in their unit, the job gives no such row.
TEST(UnitRatio, NamesTheUnitTheJobLooksLikeAndItsOption) {
  const struct {
    const char* file;
    AngleUnit angle_unit;
    LinearUnit linear_unit;
    const char* hint;
  } cases[] = {
      {"units_feet.xml", AngleUnit::Degrees, LinearUnit::Meter,
       "10 of 10 distances that disagree with the coordinates are 3.280840 times what the "
       "coordinates give, the ratio of the international foot (1/0.3048): the job looks like it "
       "is in feet read as meters. --distance-unit ft reads international feet"},
      {"units_feet.xml", AngleUnit::Degrees, LinearUnit::InternationalFoot, nullptr},
      {"units_gon.xml", AngleUnit::Degrees, LinearUnit::Meter,
       "5 of 5 angles that disagree with the coordinates are about 10/9 of what the coordinates "
       "give, the ratio of a degree to a gon: the job's angles look like gons read as "
       "DD.MMSSsssss degrees. --angle-unit gon reads gons"},
      {"units_gon.xml", AngleUnit::Gons, LinearUnit::Meter, nullptr}};
  testing::ScratchFolder folder("unit-ratio");
  for (const auto& c : cases) {
    ConvertDialog dialog;
    dialog.InitializeDefaults();
    dialog.request.run_checks = true;
    dialog.request.xml_paths = {std::string(FENWIX_TEST_DATA) + "/checks/" + c.file};
    dialog.request.output_path = (folder.path() / "out.txt").string();
    dialog.request.seed_name = "B1";
    dialog.request.seed_latitude = 46.3;
    dialog.request.seed_longitude = 7.15;
    dialog.request.seed_height = 30.0;
    dialog.request.compute_local = 1;
    dialog.request.job_angle_unit = c.angle_unit;
    dialog.request.job_linear_unit = c.linear_unit;
    testing::RecordingUi ui;
    ASSERT_EQ(dialog.RunConversion(ui).outcome, ConversionOutcome::Succeeded);
    std::vector<std::string> hints;
    for (const CheckSection& section : dialog.run.check_report.sections) {
      for (const CheckRow& row : section.rows) {
        if (row.note.find("disagree with the coordinates are") != std::string::npos) {
          hints.push_back(row.note);
        }
      }
    }
    ASSERT_EQ(hints.size(), c.hint != nullptr ? 1u : 0u) << c.file;
    if (c.hint != nullptr) {
      EXPECT_EQ(hints[0].rfind(c.hint, 0), 0u) << hints[0];
    }
  }
}

}  // namespace
}  // namespace fenwix
