#pragma once
// A small network with true positions that reaches every kind of sketch symbol: the seed, a
// vector and a polar sight, a station intersected from two azimuths, two names of one point
// that are merged, a station seen by one vector only, and a setup that nothing fixes. Converted end
// to end from Topcon XML.

#include <filesystem>
#include <string>

#include "app/convert_dialog.h"
#include "approx/truth_network.h"
#include "support/recording_ui.h"
#include "support/test_files.h"

namespace fenwix::testing {

struct SketchJob {
  TruthNetwork truth{46.5, 7.25, 30.0};
  ScratchFolder scratch{"fenwix-sketch-"};
  ConvertDialog dialog;
  RecordingUi ui;
  ConversionOutcome outcome = ConversionOutcome::Failed;

  // Converts with approximate local coordinates unless `local` is false, and with the check
  // report when `checks` is set.
  explicit SketchJob(bool local = true, bool checks = false) {
    truth.Add("BASE", 0, 0, 0);
    truth.Add("A", 300, 200, 5);
    truth.Add("B", -250, 400, -3);
    truth.Add("C", 150, 650, 2);
    truth.Add("D", 600, -100, 8);
    truth.Add("D2", 600.01, -100.01, 8);
    truth.Add("E", -900, -700, 0);
    truth.Add("F", -950, -400, 0);
    truth.Add("G", 100, -400, 1);
    const std::vector<TruthObservation> observations = {
        truth.GpsVector("BASE", "A"),
        truth.AngleSet("BASE", "A", "B"),
        truth.AngleSet("BASE", "A", "C", true, true, false),
        truth.AngleSet("A", "BASE", "C", true, true, false),
        truth.GpsVector("A", "D"),
        truth.GpsVector("B", "D2"),
        truth.GpsVector("BASE", "G"),
        truth.AngleSet("E", "BASE", "F", true, true, false),
    };
    const std::filesystem::path xml = scratch.path() / "job.xml";
    WriteTopconXml(xml.string(), truth, observations);
    dialog.InitializeDefaults();
    dialog.request.xml_paths = {xml.string()};
    dialog.request.output_path = (scratch.path() / "job.txt").string();
    dialog.request.seed_name = "BASE";
    dialog.request.seed_latitude = 46.3;   // 46°30'
    dialog.request.seed_longitude = 7.15;  // 7°15'
    dialog.request.seed_height = 30.0;
    dialog.request.compute_local = local ? 1 : 0;
    dialog.request.run_checks = checks;
    ui.answers.push_back(MergeAnswer::SameKeepFirst);
    outcome = dialog.RunConversion(ui).outcome;
  }
};

}  // namespace fenwix::testing
