#pragma once
// What a conversion is asked to do. The front ends fill a request from their controls or
// options, the settings file and the job file; the conversion reads it and never changes it, so
// that the same request converts the same way twice.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "approx/approx_coordinates.h"
#include "checks/check_limits.h"
#include "geodesy/angles.h"
#include "model/merge_answer.h"
#include "model/reading_edits.h"
#include "model/units.h"
#include "weights/weight_profile.h"
#include "writer/writer_state.h"

namespace fenwix {

// Radio values of the merge test.
inline constexpr int32_t TOLERANCE_MODE_2D = 0;
inline constexpr int32_t TOLERANCE_MODE_3D = 1;

// What is kept between runs in the 1136-byte settings record (app/settings_file.h), in the
// record's order of concerns: the field file (the record keeps the first), the output, the seed
// station and the merge test.
struct ConversionSettings {
  std::string output_path;
  // The field files, read in this order as one job.
  std::vector<std::string> xml_paths;
  std::string seed_name;
  double seed_latitude = 45.0;     // DD.MMSSsssss, positive north
  double seed_longitude = -120.0;  // DD.MMSSsssss, positive east
  double seed_height = 0.0;        // meters
  double merge_tolerance = 0.05;   // meters
  int32_t tolerance_mode = TOLERANCE_MODE_3D;
  bool compute_geodetic = false;
  double seed_east = 100000.0;
  double seed_elevation = 0.0;
  double seed_north = 100000.0;
  bool compute_local = false;
  std::string approx_datum_name = "WGS 84";
  double approx_datum_a = 6378137.0;
  double approx_datum_inv_f = 298.257223563;
};

// The settings and everything else a run takes: the program's stored choices, the weights, the
// checks wanted and, from a job file, the surveyor's edits and answers.
inline constexpr double DEFAULT_PRECISION_CONFIDENCE = 0.95;
inline constexpr double DEFAULT_RELATIVE_MM = 20.0;
inline constexpr double DEFAULT_RELATIVE_PPM = 50.0;

struct ConversionRequest : ConversionSettings {
  // Sets the output datum and the default standard deviations, as when the dialog opens.
  void InitializeDefaults();

  // Steps of the propagation (0: every reachable station). Not in the configuration file.
  int32_t max_steps = PROPAGATION_STEP_CAP;

  // What the job is in, as the person says (not in the configuration file): angles as packed
  // DD.MMSSsssss or gons, and distances without a "USFeet" indicator in meters, US survey feet
  // or international feet. The defaults read every job as it always was.
  AngleUnit job_angle_unit = AngleUnit::Degrees;
  LinearUnit job_linear_unit = LinearUnit::Meter;

  // The output datum and default standard deviations the head starts from; the run writes the
  // ellipsoid of its approximate coordinates and the profile's angle precision over them.
  WriterState writer_state;

  // The instrument and GNSS precision every record is weighted with, under the name the
  // surveyor knows it by. Kept apart from the configuration file.
  NamedWeightProfile weight_profile{std::string(DEFAULT_PROFILE_NAME), WeightProfile{}};

  // The check report: with run_checks set, the reader keeps its raw readings and every
  // conversion that writes the output file ends with a fresh report (the final message says how
  // many rows it flagged). Never changes the output file.
  bool run_checks = false;
  CheckLimits check_limits;
  // The free-network adjustment test, run with the checks when approximate coordinates exist;
  // it adds to the report and never changes the output file.
  bool adjustment_test = true;
  // Bytes the test's factor may take; a larger job is not tested.
  double adjustment_memory_budget = 1024.0 * 1024.0 * 1024.0;
  // The zeniths' refraction coefficient where the surveyor gives one; without it the test
  // estimates it from sights taken both ways, or takes the ordinary 0.13.
  std::optional<double> refraction;
  // The station the stations' precision is relative to; empty for the minimum-trace datum of
  // each part. The confidence of their σ and ellipses (0 for standard ones), and the standard
  // the relative precision of the stations measured to each other is held to.
  std::string precision_datum;
  double precision_confidence = DEFAULT_PRECISION_CONFIDENCE;
  double relative_mm = DEFAULT_RELATIVE_MM;
  double relative_ppm = DEFAULT_RELATIVE_PPM;
  // How far, meters, the seed's position may lie from the network's estimate of it (beyond
  // 3 σ of that estimate) before the seed check says they disagree.
  double seed_tolerance = 50.0;

  // The surveyor's edits of the field files (left-out elements, name changes), applied while
  // reading, and answers kept for pairs of similar stations; all empty without a job file. A
  // pair with a kept answer is never asked about.
  ReadingEdits edits;
  std::vector<PairAnswer> merge_answers;
  // The instrument of each field file, by index, where a job file names one; a file without
  // an entry (or with an empty one) is weighted with weight_profile's instrument.
  std::vector<std::optional<InstrumentProfile>> file_instruments;
  // How the output's comment lines name each field file, by index (xml_paths when empty).
  std::vector<std::string> field_file_names;
  // The job file the run comes from, empty for none: like the field files, never written over.
  std::string job_file_path;
  // Set by a front end whose names were checked as they stand (RefusePathText: a job file's
  // paths, the command line's): the run then refuses a name that its trimming would change,
  // so that the place checked is the place written. The dialog's typed names are trimmed.
  bool names_as_given = false;
  // The folder the output must stay inside, links followed at the moment it is written (a job
  // file's own output: the job file's folder); empty for anywhere.
  std::string output_folder;
};

}  // namespace fenwix
