#pragma once
// The steps of one conversion, shared by the files that hold them (conversion.cpp, the check
// step in conversion_checks.cpp, the merge warnings in merge_warnings.cpp). Only those files
// include this; the front ends call RunConversion.

#include <cstdint>
#include <string>
#include <vector>

#include "app/conversion_run.h"
#include "writer/header_writer.h"
#include "writer/output_file.h"

namespace fenwix {

class ConversionSteps {
 public:
  ConversionSteps(const ConversionRequest& request, ConversionRun& run, UserInterface& ui)
      : request_(request), run_(run), ui_(ui) {}

  // Runs every step into the run; each step returns false when it ended the run.
  void Run();

 private:
  // Trims the names and refuses those that cannot be used, before any file is touched; then
  // opens the output.
  bool CheckNames();
  // Writes the head, then reads every field file into the tables, as one job.
  bool Read();
  // Refuses edits and answers that fit nothing read and names that clash.
  bool CheckEdits();
  // Finds the seed, merges similar stations and computes approximate coordinates.
  bool PlaceStations();
  // Writes notes, stations and weighted observations, and commits the output.
  bool Write();
  // The check report and the adjustment test (conversion_checks.cpp).
  void RunChecksOnTables(const RecordWeights& weights);
  void TestNetwork(const RecordWeights& weights);
  // The final message.
  void Finish();

  // How field file number `file` is named in messages and comment lines.
  std::string FieldFileName(int32_t file) const;
  // Offers every pair of nearly coincident stations; false when the person cancelled.
  bool MergeSimilarStations();
  // Warns, once per pair, that a pair was answered without a question and why; the line is
  // that of the first record naming `second` (first_rows caches them per station row, and is
  // filled on first use). In merge_warnings.cpp.
  void WarnUnaskedPair(const StationRecord& first, const StationRecord& second, MergeAnswer answer,
                       const std::string& why, std::vector<int32_t>& first_rows);
  // Approximate coordinates from the seed; the number of stations not computed, or -1 when the
  // person cancelled.
  int32_t ComputeApproxCoordinates(int32_t seed_index);

  // Shows a message and makes it the reason the run ends with.
  template <typename... Args>
  void Show(MessageId id, const Args&... args);
  // Ends the run as failed (refused: the request's fault, not the system's), the output let go.
  template <typename... Args>
  bool Fail(MessageId id, const Args&... args);
  template <typename... Args>
  bool Refuse(Refusal refusal, MessageId id, const Args&... args);
  bool Cancel();
  // Ends the run after the output could not be written.
  bool WriteFailed(const Status& status);

  const ConversionRequest& request_;
  ConversionRun& run_;
  UserInterface& ui_;
  OutputFile out_;
  // The first observation row of each field file, for the instrument that weights it.
  std::vector<int32_t> first_rows_;
  std::vector<IncompleteInput> incomplete_;
  bool geodetic_ = false;
  bool local_ = false;
};

}  // namespace fenwix
