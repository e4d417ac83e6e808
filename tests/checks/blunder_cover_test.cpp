// The suspects on a braced GNSS network with true geometry: one vector 5 cm off is the one
// suspect, its clean twin has none, and of a repeated pair the one that the loops refuse is it.

#include <gtest/gtest.h>

#include <iomanip>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/convert_dialog.h"
#include "approx/truth_network.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix {
namespace {

struct Planted {
  const char* base;
  const char* rover;
  double dx_error;  // meters
};

// Four stations and a centre, every pair joined once but B-C, which each case adds.
const Planted BRACED[] = {{"A", "B", 0}, {"C", "D", 0}, {"D", "A", 0}, {"A", "C", 0}, {"B", "D", 0},
                          {"M", "A", 0}, {"M", "B", 0}, {"M", "C", 0}, {"M", "D", 0}};

// The job and, per vector, the XML line its element starts on.
std::string JobXml(const std::vector<Planted>& vectors, std::vector<int32_t>& lines) {
  testing::TruthNetwork net(46.5, 7.25, 30.0);
  net.Add("A", 0, 0, 0);
  net.Add("B", 900, 50, 4);
  net.Add("C", 950, 800, -2);
  net.Add("D", -30, 870, 3);
  net.Add("M", 420, 400, 1);
  std::ostringstream out;
  out << std::fixed << std::setprecision(4) << "<?xml version=\"1.0\"?>\n<data>\n";
  int32_t line = 3;
  for (const Planted& p : vectors) {
    const auto v = net.GpsVector(p.base, p.rover);
    lines.push_back(line);
    out << "<Vector>\n<BasePoint>" << p.base << "</BasePoint><RoverPoint>" << p.rover
        << "</RoverPoint>\n<DX>" << v.dx + p.dx_error << "</DX><DY>" << v.dy << "</DY><DZ>" << v.dz
        << "</DZ>\n<SX>0.002</SX><SY>0.002</SY><SZ>0.004</SZ>\n</Vector>\n";
    line += 5;
  }
  out << "</data>\n";
  return out.str();
}

// The XML lines of the flagged suspects.
std::set<int32_t> SuspectLines(const std::vector<Planted>& vectors, std::vector<int32_t>& lines) {
  testing::ScratchFolder folder("suspects");
  testing::WriteFile(folder.path() / "job.xml", JobXml(vectors, lines));
  ConvertDialog dialog;
  dialog.InitializeDefaults();
  dialog.request.run_checks = true;
  dialog.request.xml_paths = {(folder.path() / "job.xml").string()};
  dialog.request.output_path = (folder.path() / "job.txt").string();
  dialog.request.seed_latitude = 46.3;
  dialog.request.seed_longitude = 7.15;
  testing::RecordingUi ui;
  EXPECT_EQ(dialog.RunConversion(ui).outcome, ConversionOutcome::Succeeded);
  const CheckSection* suspects = dialog.run.check_report.Suspects();
  EXPECT_NE(suspects, nullptr);
  std::set<int32_t> found;
  for (const CheckRow& row : suspects != nullptr ? suspects->rows : std::vector<CheckRow>{}) {
    if (!row.flagged) continue;
    EXPECT_EQ(row.sources.size(), 1u);
    found.insert(row.sources.front().line);
    // The misclosure the failing loops agree on is the planted 5 cm.
    EXPECT_NEAR(row.values.at(4), 50.0, 1.0);
  }
  return found;
}

TEST(Suspects, OneVectorFiveCentimetresOffIsTheOnlySuspect) {
  const struct {
    std::vector<Planted> b_to_c;  // the vectors of B-C
    int planted;                  // which of them is 5 cm off, -1 for none
  } cases[] = {
      {{{"B", "C", 0.0}}, -1},                   // the clean twin
      {{{"B", "C", 0.05}}, 0},                   // unrepeated
      {{{"C", "B", 0.0}, {"B", "C", 0.05}}, 1},  // repeated: the twin C-B closes its loops
      {{{"C", "B", 0.05}, {"B", "C", 0.0}}, 0},  // the reverse one is off
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.planted);
    std::vector<Planted> vectors(std::begin(BRACED), std::end(BRACED));
    vectors.insert(vectors.end(), c.b_to_c.begin(), c.b_to_c.end());
    std::vector<int32_t> lines;
    const std::set<int32_t> found = SuspectLines(vectors, lines);
    std::set<int32_t> expected;
    if (c.planted >= 0) expected.insert(lines.at(std::size(BRACED) + c.planted));
    EXPECT_EQ(found, expected);
  }
}

}  // namespace
}  // namespace fenwix
