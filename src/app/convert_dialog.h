#pragma once
// ConvertDialog owns the state of the program: the settings the person enters, the writer
// state, the working records and the two tables. It is free of any toolkit; the Qt window and
// the command-line front end show it and reach the person through UserInterface.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/network_adjustment.h"
#include "app/user_interface.h"
#include "approx/approx_coordinates.h"
#include "checks/check_limits.h"
#include "checks/check_report.h"
#include "model/merge_answer.h"
#include "model/reading_edits.h"
#include "model/reading_log.h"
#include "model/reading_warnings.h"
#include "model/station_names.h"
#include "model/station_placement.h"
#include "model/survey_tables.h"
#include "weights/record_weights.h"
#include "weights/weight_profile.h"
#include "writer/writer_state.h"
#include "xml/sax_reader.h"

namespace fenwix {

// How a conversion ended, for the front ends (the message has been shown already).
enum class ConversionOutcome {
  Succeeded,   // 2211 or 2213
  Incomplete,  // an input was not read to its end: 2116 or 2133, the output holds what was read
  Failed,      // nothing usable written: 2112 to 2117, 2131, 2132, 1001, 1002, 2212 for others
  Cancelled,   // 2212 after a Cancel in the similar-stations question or of the run
};

// How one field file of the conversion was read.
struct FileRead {
  std::string path;    // as named
  ParseResult parse;   // Complete, or where it stopped
  uint64_t bytes = 0;  // its size when the run began
};

// What a conversion did, for the front ends: they take what they show and the command line its
// exit status from here, not from the messages shown.
struct ConversionResult {
  ConversionOutcome outcome = ConversionOutcome::Failed;
  // The message that ended the run: the final message, or the one that refused or stopped it.
  int32_t reason = 0;
  // The files read, in reading order; empty when the run stopped before reading.
  std::vector<FileRead> files;
  // A seed was named but is not in the input: the output has no approximate coordinates.
  bool seed_not_found = false;
  bool approx_computed = false;
  int32_t not_computed = 0;  // stations left without approximate coordinates
  int32_t stations = 0;      // station rows written
  int32_t observations = 0;  // observation rows written

  // Whether the adjustment file was written (completely or with what was read).
  bool written() const {
    return outcome == ConversionOutcome::Succeeded || outcome == ConversionOutcome::Incomplete;
  }
  // Whether the run refused names that cannot be used (a usage error on the command line).
  bool refused_names() const;
  // The request was refused, not failed by the system: a missing or repeated name, an output
  // that is an input, the job file or an XML document, an input that is a device, pipe or
  // socket, an edit or a merge answer that fits nothing read.
  bool refused = false;
};

// Radio values of the merge test.
inline constexpr int32_t TOLERANCE_MODE_2D = 0;
inline constexpr int32_t TOLERANCE_MODE_3D = 1;

class ConvertDialog {
 public:
  ConvertDialog();

  // Sets the output datum and the default standard deviations, as when the dialog opens.
  void InitializeDefaults();

  // One whole conversion with the current members; the members must have passed validation.
  ConversionResult RunConversion(UserInterface& ui);

  // Settings, in declaration order.
  std::string output_path;
  // The field files, read in this order as one job. The settings record keeps the first.
  std::vector<std::string> xml_paths;
  std::string seed_name;
  double seed_latitude = 45.0;     // DD.MMSSsssss, positive north
  double seed_longitude = -120.0;  // DD.MMSSsssss, positive east
  double seed_height = 0.0;        // meters
  double merge_tolerance = 0.05;   // meters
  int32_t tolerance_mode = TOLERANCE_MODE_3D;
  int32_t compute_geodetic = 0;
  double seed_east = 100000.0;
  double seed_elevation = 0.0;
  double seed_north = 100000.0;
  int32_t compute_local = 0;
  std::string approx_datum_name = "WGS 84";
  double approx_datum_a = 6378137.0;
  double approx_datum_inv_f = 298.257223563;
  // Steps of the propagation (0: every reachable station). Not in the configuration file.
  int32_t max_steps = PROPAGATION_STEP_CAP;
  // Set by a conversion whose propagation ran out of steps with stations still to place.
  bool step_budget_ended = false;

  // What the job is in, as the person says (not in the configuration file): angles as packed
  // DD.MMSSsssss or gons, and distances without a "USFeet" indicator in meters, US survey feet
  // or international feet. The defaults read every job as it always was.
  int32_t job_angle_unit = ANGLE_UNIT_CODE_DEGREES;
  int32_t job_linear_unit = LINEAR_UNIT_METER;

  // Output datum, default standard deviations and the units of the last "$UNITS" block.
  WriterState writer_state;

  // The instrument and GNSS precision every record is weighted with, under the name the
  // surveyor knows it by. Kept apart from the configuration file.
  NamedWeightProfile weight_profile{std::string(DEFAULT_PROFILE_NAME), WeightProfile{}};
  // The angle sets of the last conversion written without their centring terms.
  std::vector<CentringGap> centring_gaps;

  SurveyTables tables;
  // How each station row came by its approximate coordinates in the last conversion; empty
  // when it computed none.
  std::vector<StationPlacement> placements;

  // The check report: with run_checks set, the reader keeps its raw readings and every
  // conversion that writes the output file ends with a fresh report (the final message says how
  // many rows it flagged). Never changes the output file.
  bool run_checks = false;
  CheckLimits check_limits;
  ReadingLog reading_log;
  CheckReport check_report;
  // The free-network adjustment test, run with the checks when approximate coordinates exist;
  // it adds to the report and never changes the output file.
  bool adjustment_test = true;
  // Bytes the test's factor may take; a larger job is not tested.
  double adjustment_memory_budget = 1024.0 * 1024.0 * 1024.0;
  // The test's one-line summary for the final message; empty when it did not run.
  std::string adjustment_summary;
  // What the last test worked on and found (station precision, redundancy numbers), for the
  // sketch and the report window; its outcome is NothingToTest when it did not run.
  AdjustmentInput adjustment_input;
  AdjustmentResult adjustment_result;
  // Values of the last conversion's input that may have been misread; filled on every run.
  ReadingWarnings reading_warnings;
  // Station names of the last conversion's field files that a record cannot carry, each with
  // the name written in its place; filled on every run.
  NameReplacements name_replacements;

  // The surveyor's edits of the field files (left-out elements, name changes), applied while
  // reading, and answers kept for pairs of similar stations; all empty without a job file. A
  // pair with a kept answer is never asked about.
  ReadingEdits edits;
  std::vector<PairAnswer> merge_answers;
  // The answers the person gave in the last conversion about pairs merge_answers did not hold.
  std::vector<PairAnswer> answers_given;
  // The instrument of each field file, by index, where a job file names one; a file without
  // an entry (or with an empty one) is weighted with weight_profile's instrument.
  std::vector<std::optional<InstrumentProfile>> file_instruments;
  // How the output's comment lines name each field file, by index (xml_paths when empty).
  std::vector<std::string> field_file_names;
  // The job file the run comes from, empty for none: like the field files, never written over.
  std::string job_file_path;

  // How field file number `file` is named in messages and comment lines.
  std::string FieldFileName(int32_t file) const;
  // Looks up the seed station and marks it known; shows 2111 and returns 0 when it is absent.
  int32_t FindStation(UserInterface& ui, const std::string& name);
  // Offers every pair of nearly coincident stations; false when the person cancelled.
  bool MergeSimilarStations(UserInterface& ui);
  // Warns, once per pair, that a pair was answered without a question and why; the line is
  // that of the first record naming `second` (first_rows caches them per station row, and is
  // filled on first use). In merge_warnings.cpp.
  void WarnUnaskedPair(const StationRecord& first, const StationRecord& second, MergeAnswer answer,
                       const std::string& why, std::vector<int32_t>& first_rows);
  // Approximate coordinates from the seed; returns the number of stations not computed, or -1
  // when the person cancelled (through UserInterface::ReportProgress).
  int32_t ComputeApproxCoordinates(UserInterface& ui, int32_t seed_index);
  // Fills check_report from the tables and the reading log (conversion_checks.cpp); the default
  // limits follow the weights the output file was written with.
  void RunChecksOnTables(bool approx_computed, const RecordWeights& weights);
  // The adjustment test over the records as written, its sections added to the report.
  void TestNetwork(const RecordWeights& weights, UserInterface& ui);
  // The sentence the final message gains when the step budget left stations without
  // coordinates, saying how to lift it; else empty.
  std::string StepBudgetSentence() const;
  // The sentence the final message gains when checks ran, else empty.
  std::string CheckSummary() const;
  // The sentence the final message gains when the reading gave warnings and the check report
  // lists them, else empty.
  std::string WarningSummary() const;
};

}  // namespace fenwix
