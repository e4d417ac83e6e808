#pragma once
// What a conversion produces: how it ended, the tables it wrote, what it read and found. A run
// is made by RunConversion from a request and shown by the front ends; the command line takes
// its exit status from the run's result, not from the messages shown.

#include <cstdint>
#include <string>
#include <vector>

#include "adjust/adjustment_input.h"
#include "adjust/network_adjustment.h"
#include "adjust/seed_check.h"
#include "app/conversion_request.h"
#include "app/user_interface.h"
#include "checks/check_report.h"
#include "model/merge_answer.h"
#include "model/reading_edits.h"
#include "model/reading_log.h"
#include "model/reading_warnings.h"
#include "model/station_names.h"
#include "model/station_placement.h"
#include "model/status.h"
#include "model/survey_tables.h"
#include "weights/record_weights.h"
#include "writer/writer_state.h"

namespace fenwix {

// How a conversion ended, for the front ends (the message has been shown already).
enum class ConversionOutcome {
  Succeeded,   // the success message
  Incomplete,  // an input was not read to its end: the output holds what was read
  Failed,      // nothing usable written: a refusal, an unreadable input, a write error
  Cancelled,   // after a Cancel in the similar-stations question or of the run
};

// What in the request a refused run could not use.
enum class Refusal {
  None,
  NoFieldFile,          // no field file named
  NoOutput,             // no output named
  NotARegularFile,      // a field file that is a device, pipe or socket
  FieldFileTwice,       // one field file named twice, however spelled
  OutputIsFieldFile,    // the output names a field file
  OutputIsXml,          // the output names an XML document
  OutputProtected,      // the output names the job file
  LeaveOutNotFound,     // an edit's line starts nothing to leave out
  NameClash,            // two names would be written as one
  MergeNamesNoStation,  // a kept answer names a station the job does not have
  NameNotAPath          // a checked name that trimming would change, or a blank among indexed files
};

// How one field file of the conversion was read.
struct FileRead {
  std::string path;    // as named
  Status read;         // ok when read whole; else how and where the reading stopped
  uint64_t bytes = 0;  // its size when the run began
};

// How a run ended and what it wrote, in numbers.
struct ConversionResult {
  ConversionOutcome outcome = ConversionOutcome::Failed;
  // The message that ended the run: the final message, or the one that refused or stopped it.
  // Its number keys the text only; nothing decides on it.
  MessageId reason{};
  // The files read, in reading order; empty when the run stopped before reading.
  std::vector<FileRead> files;
  // A seed was named but is not in the input: the output has no approximate coordinates.
  bool seed_not_found = false;
  bool approx_computed = false;
  int32_t not_computed = 0;  // stations left without approximate coordinates
  int32_t stations = 0;      // station rows written
  int32_t observations = 0;  // observation rows written
  // What the request was refused for (None when the run was not refused): a fault of the
  // request, not of the system, and a usage error on the command line.
  Refusal refusal = Refusal::None;

  // Whether the adjustment file was written (completely or with what was read).
  bool written() const {
    return outcome == ConversionOutcome::Succeeded || outcome == ConversionOutcome::Incomplete;
  }
  // Whether the run refused names that cannot be used.
  bool refused_names() const {
    return outcome == ConversionOutcome::Failed && refusal != Refusal::None;
  }
};

struct ConversionRun {
  ConversionResult result;
  // The names as the run used them: the field files and the output without surrounding blanks
  // and blank entries, the seed trimmed.
  std::vector<std::string> xml_paths;
  std::string output_path;
  std::string seed_name;
  // The head as written: the request's, with the ellipsoid of the approximate coordinates, the
  // profile's angle precision and the units of the last "$UNITS" block.
  WriterState writer_state;
  SurveyTables tables;
  // How each station row came by its approximate coordinates; empty when none were computed.
  std::vector<StationPlacement> placements;
  // Set when the propagation ran out of steps with stations still to place.
  bool step_budget_ended = false;
  // The angle sets written without their centring terms.
  std::vector<CentringGap> centring_gaps;
  // The raw readings (kept when checks were asked for), the values that may have been misread,
  // and the station names a record cannot carry with the name written in their place.
  ReadingLog reading_log;
  ReadingWarnings reading_warnings;
  NameReplacements name_replacements;
  // The request's edits as applied: which elements they left out and which self-ties they kept.
  ReadingEdits edits;
  // The answers the person gave about pairs the request's merge answers did not hold.
  std::vector<PairAnswer> answers_given;
  CheckReport check_report;
  // The adjustment test's one-line summary for the final message (empty when it did not run),
  // and what it worked on and found (its outcome is NothingToTest when it did not run).
  std::string adjustment_summary;
  AdjustmentInput adjustment_input;
  AdjustmentResult adjustment_result;
  // The seed's position against the network's (ran is false without an adjustment test).
  SeedCheck seed_check;
};

// One whole conversion of the request, as a sequence of steps: check the names, read, check
// the edits and names, merge and compute approximate coordinates, write, check. The request must
// have passed validation. Never throws: running out of memory ends the run with a message.
ConversionRun RunConversion(const ConversionRequest& request, UserInterface& ui);

// The steps after the output file that can run short of memory, each leaving a part of the
// check report or the sketch unmade.
enum class MemoryStep : uint8_t { None, Checks, Test, Sketch };
// For tests: from now on the step runs out of memory (std::bad_alloc, as an allocation would
// throw) in every run; MemoryStep::None ends it.
void SetMemoryShortageForTesting(MemoryStep step);
// Throws std::bad_alloc when a test set the shortage at step.
void PlantedShortage(MemoryStep step);

}  // namespace fenwix
