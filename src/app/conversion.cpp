#include "app/conversion_steps.h"
#include "app/convert_dialog.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "app/field_validation.h"
#include "app/file_problem.h"
#include "app/messages.h"
#include "app/reading_names.h"
#include "approx/approx_coordinates.h"
#include "geodesy/angles.h"
#include "geodesy/ellipsoid.h"
#include "job/job_paths.h"
#include "model/station_merging.h"
#include "platform/file_access.h"
#include "platform/file_identity.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"
#include "writer/edit_notes.h"
#include "writer/header_writer.h"
#include "writer/output_file.h"
#include "writer/record_writer.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"

namespace fenwix {

namespace {

// True when both names denote the same existing file, however spelled.
bool IsSameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(PathFromUtf8(a), PathFromUtf8(b), ec) && !ec;
}

// The first pair (i, j), i < j, by i then j, of names that reach the same file: the identities
// are sorted, so that thousands of field files are compared in n log n, not pair by pair.
std::optional<std::pair<size_t, size_t>> FirstRepeatedFile(const std::vector<std::string>& paths) {
  std::vector<std::pair<FileIdentity, size_t>> known;
  known.reserve(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    if (const auto identity = IdentifyFile(paths[i])) known.emplace_back(*identity, i);
  }
  std::sort(known.begin(), known.end());
  std::optional<std::pair<size_t, size_t>> first;
  for (size_t k = 1; k < known.size(); ++k) {
    // Within a run of one file, its first two names in the list.
    if (known[k].first != known[k - 1].first) continue;
    if (k >= 2 && known[k - 2].first == known[k].first) continue;
    if (!first || known[k - 1].second < first->first) {
      first = std::pair{known[k - 1].second, known[k].second};
    }
  }
  return first;
}

}  // namespace

void ConversionRequest::InitializeDefaults() {
  writer_state.output_datum_name = "WGS 84";
  writer_state.output_datum_a = 6378137.0;
  writer_state.output_datum_inv_f = 298.257223563;
  writer_state.default_angle_sd = 5.0;
  writer_state.default_zenith_sd = 5.0;
  writer_state.default_coord_sd = 0.005;
}

ConversionRun RunConversion(const ConversionRequest& request, UserInterface& ui) {
  ConversionRun run;
  ConversionSteps(request, run, ui).Run();
  return run;
}

std::string StepBudgetSentence(const ConversionRequest& request, const ConversionRun& run) {
  if (!run.step_budget_ended) return std::string();
  return "\n\nThe step budget of " + std::to_string(request.max_steps) +
         " steps ended before these stations were reached. To compute every reachable station, "
         "convert with --max-steps 0, or tick Options → \"Compute every reachable station\".";
}

template <typename... Args>
void ConversionSteps::Show(MessageId id, const Args&... args) {
  FormatMessageBox(ui_, id, args...);
  run_.result.reason = id;
}

template <typename... Args>
bool ConversionSteps::Fail(MessageId id, const Args&... args) {
  out_.Discard();
  Show(id, args...);
  run_.result.outcome = ConversionOutcome::Failed;
  return false;
}

template <typename... Args>
bool ConversionSteps::Refuse(Refusal refusal, MessageId id, const Args&... args) {
  run_.result.refusal = refusal;
  return Fail(id, args...);
}

bool ConversionSteps::Cancel() {
  out_.Discard();
  Show(MSG_CANCELLED);
  run_.result.outcome = ConversionOutcome::Cancelled;
  return false;
}

bool ConversionSteps::WriteFailed(const Status& status) {
  if (status.kind() == StatusKind::OutOfMemory) return Fail(MSG_NO_MEMORY);
  if (status.kind() == StatusKind::Cancelled) return Fail(MSG_CANCELLED);
  // The system's reason, a full disk above all, after the name.
  const std::string& path = run_.output_path;
  return Fail(MSG_WRITE_ERROR, status.text().empty() ? path : path + ": " + status.text());
}

std::string ConversionSteps::FieldFileName(int32_t file) const {
  const auto index = static_cast<size_t>(file);
  if (file < 0) return std::string();
  if (index < request_.field_file_names.size()) return request_.field_file_names[index];
  if (index < run_.xml_paths.size()) return run_.xml_paths[index];
  return std::string();
}

void ConversionSteps::Run() {
  try {
    run_.writer_state = request_.writer_state;
    run_.edits = request_.edits;
    if (CheckNames() && Read() && CheckEdits() && PlaceStations() && Write()) Finish();
  } catch (const std::bad_alloc&) {
    Fail(MSG_NO_MEMORY);
  }
}

bool ConversionSteps::CheckNames() {
  run_.edits.BeginReading();
  run_.seed_name = TrimWhiteSpace(request_.seed_name);
  if (request_.names_as_given) {
    // Names checked as they stand are used as they stand: one that trimming would change is
    // refused, never trimmed into another place.
    for (const std::string& path : request_.xml_paths) {
      if (const Status refused = RefusePathText("field file", path); refused.failed()) {
        return Refuse(Refusal::NameNotAPath, MSG_CANNOT_READ, path, refused.text());
      }
    }
    if (const Status refused = RefusePathText("output", request_.output_path);
        refused.failed() && !request_.output_path.empty()) {
      return Refuse(Refusal::NameNotAPath, MSG_CANNOT_OPEN, request_.output_path, refused.text());
    }
    run_.xml_paths = request_.xml_paths;
    run_.output_path = request_.output_path;
  } else {
    run_.xml_paths = TrimmedFileNames(request_.xml_paths);
    run_.output_path = TrimWhiteSpace(request_.output_path);
    // Edits, instruments and note names go by a file's place in the list: a blank name left
    // out would hand them to the file after it.
    const bool indexed = !request_.edits.empty() || !request_.file_instruments.empty() ||
                         !request_.field_file_names.empty();
    if (indexed && run_.xml_paths.size() != request_.xml_paths.size()) {
      return Refuse(Refusal::NameNotAPath, MSG_NO_XML_NAME);
    }
  }
  const std::vector<std::string>& inputs = run_.xml_paths;
  const std::string& output = run_.output_path;
  if (inputs.empty()) return Refuse(Refusal::NoFieldFile, MSG_NO_XML_NAME);
  if (output.empty()) return Refuse(Refusal::NoOutput, MSG_NO_OUTPUT_NAME);
  // Checked before the output is touched, so a mistyped input name costs nothing; and no
  // field file is ever written over, whatever the names.
  SetProtectedFiles(inputs, request_.job_file_path);
  for (const std::string& path : inputs) {
    if (const int read_error = ReadError(path)) {
      const std::string why = FileProblemText(read_error, path);
      if (read_error == NOT_A_REGULAR_FILE) {
        return Refuse(Refusal::NotARegularFile, MSG_CANNOT_READ, path, why);
      }
      return Fail(MSG_CANNOT_READ, path, why);
    }
  }
  if (const auto twice = FirstRepeatedFile(inputs)) {
    return Refuse(Refusal::FieldFileTwice, MSG_INPUT_TWICE, inputs[twice->first],
                  inputs[twice->second]);
  }
  for (const std::string& path : inputs) {
    if (IsSameFile(path, output))
      return Refuse(Refusal::OutputIsFieldFile, MSG_OUTPUT_IS_INPUT, output);
  }
  if (IsXmlDocument(output)) return Refuse(Refusal::OutputIsXml, MSG_OUTPUT_IS_XML, output);
  out_.RequireFolder(request_.output_folder);
  if (!out_.Open(output)) {
    const std::string why = FileProblemText(out_.open_error(), output);
    if (out_.open_error() == TARGET_IS_PROTECTED || out_.open_error() == TARGET_OUTSIDE_FOLDER) {
      return Refuse(Refusal::OutputProtected, MSG_CANNOT_OPEN, output, why);
    }
    return Fail(MSG_CANNOT_OPEN, output, why);
  }
  return true;
}

bool ConversionSteps::Read() {
  WriterState& head = run_.writer_state;
  // The header must name the ellipsoid of the coordinates that this same file will carry.
  if (!run_.seed_name.empty() && (request_.compute_geodetic || request_.compute_local)) {
    const Ellipsoid datum = ChooseDatumEllipsoid(
        request_.approx_datum_name, request_.approx_datum_a, request_.approx_datum_inv_f);
    head.output_datum_name = datum.name;
    head.output_datum_a = datum.a;
    head.output_datum_inv_f = datum.inv_f;
  }
  if (Status written = WriteHeader(out_, head); written.failed()) return WriteFailed(written);
  head.current_linear_unit = LinearUnit::Meter;
  head.current_angle_unit = AngleUnit::Degrees;
  if (Status written = WriteUnits(out_, LinearUnit::Meter, AngleUnit::Degrees); written.failed()) {
    return WriteFailed(written);
  }
  // The head's default angle blocks say what the profile gives an angle without centring.
  head.default_angle_sd = request_.weight_profile.profile.instrument.angle_sd;
  head.default_zenith_sd = request_.weight_profile.profile.instrument.zenith_sd;
  if (Status written = WriteDefaultSds(out_, head); written.failed()) return WriteFailed(written);

  SurveyTables& tables = run_.tables;
  SaxReader reader;
  XmlContentHandler handler(tables);
  reader.Attach(&handler);
  if (request_.run_checks) handler.AttachLog(&run_.reading_log);
  handler.SetJobUnits(request_.job_linear_unit, request_.job_angle_unit);
  handler.AttachWarnings(&run_.reading_warnings);
  handler.AttachEdits(&run_.edits);
  handler.AttachNameReplacements(&run_.name_replacements);

  // The files are read one after the other into the same tables, as one job; progress is
  // the share of all their bytes read.
  std::vector<FileRead>& files = run_.result.files;
  uint64_t total_bytes = 0;
  for (const std::string& path : run_.xml_paths) {
    std::error_code size_error;
    const uintmax_t size = std::filesystem::file_size(PathFromUtf8(path), size_error);
    files.push_back(FileRead{path, Status(), size_error ? 0 : size});
    total_bytes += files.back().bytes;
  }
  tables.ExpectInputBytes(total_bytes);
  const double progress_total = std::max<double>(1, static_cast<double>(total_bytes));
  uint64_t bytes_before = 0;
  for (FileRead& file : files) {
    const auto index = static_cast<int32_t>(&file - files.data());
    first_rows_.push_back(tables.observation_count());
    reader.set_progress([&](int64_t bytes) {
      const double done = static_cast<double>(bytes_before) + static_cast<double>(bytes);
      return ui_.ReportProgress(RunPhase::Reading, std::min(1.0, done / progress_total));
    });
    if (request_.run_checks) run_.reading_log.BeginFile(file.path);
    run_.edits.BeginFile(index);
    handler.BeginFile();
    run_.reading_warnings.set_file(index);
    {
      WaitCursor wait(ui_);
      file.read = reader.ParseFile(file.path);
    }
    handler.EndInput();
    bytes_before += file.bytes;
    switch (file.read.kind()) {
      case StatusKind::Cancelled:
        return Cancel();
      case StatusKind::Unreadable:
        return Fail(MSG_CANNOT_READ, file.path, file.read.text());
      case StatusKind::OutOfMemory:
        return Fail(MSG_NO_MEMORY);
      default:
        break;
    }
  }
  // A document that stops being XML is read up to the fault; the note says where.
  for (const FileRead& file : files) {
    if (file.read.kind() == StatusKind::Refused) {
      const SourceLocation at = file.read.at().value_or(SourceLocation{});
      incomplete_.push_back(IncompleteInput{file.path, file.read.text(), at.line, at.column});
    }
  }
  return true;
}

bool ConversionSteps::CheckEdits() {
  // An edit whose line starts nothing to leave out points at a line that has changed: the
  // file is not converted on a guess.
  if (const std::vector<LeaveOut> unused = run_.edits.Unused(); !unused.empty()) {
    return Refuse(Refusal::LeaveOutNotFound, MSG_LEAVE_OUT_NOT_FOUND, unused.front().line,
                  FieldFileName(unused.front().file));
  }
  // Names are known only once every file is read; a refusal still comes before any writing.
  const NameReplacements& replacements = run_.name_replacements;
  if (const NameReplacements::Clash* clash = replacements.clash()) {
    const NameReplacement* replaced = replacements.WrittenAs(clash->name);
    return Refuse(Refusal::NameClash, MSG_NAME_CLASH, clash->source.line,
                  FieldFileName(clash->source.file), clash->name, VisibleName(replaced->read),
                  replaced->source.line, FieldFileName(replaced->source.file));
  }
  if (const std::string unknown =
          MergesNamingNoStation(request_.merge_answers, run_.tables, run_.edits.name_changes());
      !unknown.empty()) {
    return Refuse(Refusal::MergeNamesNoStation, MSG_MERGE_NO_STATION, unknown);
  }
  return true;
}

bool ConversionSteps::PlaceStations() {
  if (run_.seed_name.empty()) return true;
  const int32_t seed_index = run_.tables.FindStation(run_.seed_name);
  if (seed_index == 0) {
    FormatMessageBox(ui_, MSG_SEED_NOT_FOUND, run_.seed_name, JoinFileNames(run_.xml_paths));
    run_.result.seed_not_found = true;
    return true;
  }
  geodetic_ = request_.compute_geodetic;
  local_ = request_.compute_local;
  if (!geodetic_ && !local_) return true;
  run_.result.approx_computed = true;
  if (!ui_.ReportProgress(RunPhase::Merging, 0.0) || !MergeSimilarStations()) return Cancel();
  run_.result.not_computed = ComputeApproxCoordinates(seed_index);
  if (run_.result.not_computed < 0) return Cancel();
  if (!ui_.ReportProgress(RunPhase::Merging, 0.5) || !MergeSimilarStations()) return Cancel();
  return true;
}

bool ConversionSteps::MergeSimilarStations() {
  std::vector<int32_t> first_rows;
  return fenwix::MergeSimilarStations(
      run_.tables, request_.merge_tolerance, request_.tolerance_mode == TOLERANCE_MODE_2D,
      [this, &first_rows](const StationRecord& first, const StationRecord& second) {
        if (const auto kept = KeptAnswer(request_.merge_answers, first.name, second.name)) {
          WarnUnaskedPair(first, second, *kept, "the job's \"merges\" answers it", first_rows);
          return *kept;
        }
        const MergeAnswer answer = ui_.AskSimilarStations(first, second);
        if (const std::string why = ui_.UnaskedReason(); !why.empty()) {
          WarnUnaskedPair(first, second, answer, why, first_rows);
        }
        if (const auto given = KeepAnswer(answer, first.name, second.name)) {
          run_.answers_given.push_back(*given);
        }
        return answer;
      });
}

int32_t ConversionSteps::ComputeApproxCoordinates(int32_t seed_index) {
  WaitCursor wait(ui_);
  bool cancelled = false;
  const double stations = std::max(1, run_.tables.station_count() - 1);
  // Asked after every step that did not end the propagation for want of anything new to place,
  // so max_steps calls mean that the budget ended it.
  int32_t steps = 0;
  const auto keep_going = [&](int32_t known) {
    ++steps;
    cancelled = !ui_.ReportProgress(RunPhase::Approximating, known / stations);
    return !cancelled;
  };
  const Ellipsoid datum = ChooseDatumEllipsoid(request_.approx_datum_name, request_.approx_datum_a,
                                               request_.approx_datum_inv_f);
  run_.writer_state.output_datum_name = datum.name;
  run_.writer_state.output_datum_a = datum.a;
  run_.writer_state.output_datum_inv_f = datum.inv_f;
  const int32_t max_steps = request_.max_steps;
  const ConversionSettings& seed = request_;
  const int32_t not_computed = fenwix::ComputeApproxCoordinates(
      run_.tables, seed_index,
      SeedPosition{seed.seed_latitude, seed.seed_longitude, seed.seed_height, seed.seed_north,
                   seed.seed_east, seed.seed_elevation},
      datum, &run_.placements, max_steps, PropagationProgress(keep_going));
  run_.step_budget_ended = max_steps > 0 && steps >= max_steps && not_computed > 0;
  return cancelled ? -1 : not_computed;
}

bool ConversionSteps::Write() {
  if (!ui_.ReportProgress(RunPhase::Writing, 0.0)) return Cancel();
  const SurveyTables& tables = run_.tables;
  const std::vector<FileRead>& files = run_.result.files;
  Status written;
  if (!incomplete_.empty()) {
    if (files.size() == 1) {
      const IncompleteInput& fault = incomplete_[0];
      written =
          WriteIncompleteNote(out_, FieldFileName(0), fault.message, fault.line, fault.column);
    } else {
      // The note names the files as the edit notes do; the messages keep their paths. The
      // note's entries only view their names, which live in `names`.
      std::vector<std::string> names;
      for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].read.kind() == StatusKind::Refused) {
          names.push_back(FieldFileName(static_cast<int32_t>(i)));
        }
      }
      std::vector<IncompleteInput> named = incomplete_;
      for (size_t i = 0; i < named.size(); ++i) named[i].path = names[i];
      written = WriteIncompleteNote(out_, named);
    }
    if (written.failed()) return WriteFailed(written);
  }
  if (!run_.edits.empty()) {
    const std::vector<std::string>& names =
        request_.field_file_names.empty() ? run_.xml_paths : request_.field_file_names;
    written = WriteEditNotes(out_, run_.edits, names);
    if (written.failed()) return WriteFailed(written);
  }
  written = WriteStations(geodetic_, local_, tables, run_.writer_state, out_);
  if (written.failed()) return WriteFailed(written);
  const WeightProfile& profile = request_.weight_profile.profile;
  std::vector<WeightProfile> profiles{profile};
  std::vector<uint16_t> profile_of_row;
  const auto& instruments = request_.file_instruments;
  for (size_t file = 0; file < instruments.size() && file < first_rows_.size(); ++file) {
    if (!instruments[file]) continue;
    if (profiles.size() == UINT16_MAX) break;
    WeightProfile own = profile;
    own.instrument = *instruments[file];
    profiles.push_back(own);
    profile_of_row.resize(static_cast<size_t>(tables.observation_count()), 0);
    const size_t end = file + 1 < first_rows_.size() ? static_cast<size_t>(first_rows_[file + 1])
                                                     : profile_of_row.size();
    std::fill(profile_of_row.begin() + first_rows_[file],
              profile_of_row.begin() + static_cast<std::ptrdiff_t>(end),
              static_cast<uint16_t>(profiles.size() - 1));
  }
  const RecordWeights weights(
      tables, std::move(profiles), std::move(profile_of_row),
      WeightContext{run_.result.approx_computed, DmsToRadians(request_.seed_latitude),
                    DmsToRadians(request_.seed_longitude)});
  run_.centring_gaps = weights.centring_gaps();
  written = WriteObservations(tables, run_.writer_state, out_, weights);
  if (written.failed()) return WriteFailed(written);
  if (!ui_.ReportProgress(RunPhase::Writing, 0.5)) return Cancel();
  if (!out_.Commit()) return WriteFailed(out_.WriteFailure());
  ui_.ReportProgress(RunPhase::Writing, 1.0);
  run_.result.stations = std::max(0, tables.station_count() - 1);
  run_.result.observations = std::max(0, tables.observation_count() - 1);
  if (request_.run_checks) {
    RunChecksOnTables(weights);
    if (request_.adjustment_test && run_.result.approx_computed && !run_.check_report.incomplete) {
      TestNetwork(weights);
    }
  }
  return true;
}

void ConversionSteps::Finish() {
  ConversionResult& result = run_.result;
  const std::string& output = run_.output_path;
  // The final message, followed by what the check report flagged when it ran. The message
  // itself is cut to its limit; the sentences after it are short and always shown whole.
  const auto final_message = [&](MessageId id, const std::string& text,
                                 const std::string& more = std::string()) {
    ui_.ShowMessage(id, CutUtf8(text, MAX_MESSAGE_BYTES) + more + WarningSummary(request_, run_) +
                            CheckSummary(request_, run_));
    result.reason = id;
  };
  if (!incomplete_.empty()) {
    result.outcome = ConversionOutcome::Incomplete;
    if (result.files.size() == 1) {
      const IncompleteInput& fault = incomplete_[0];
      final_message(MSG_READ_INCOMPLETE,
                    FormatMessage(MSG_READ_INCOMPLETE, run_.xml_paths[0], fault.message,
                                  static_cast<long long>(fault.line),
                                  static_cast<long long>(fault.column), output));
      return;
    }
    std::string faults;
    for (const IncompleteInput& file : incomplete_) {
      if (!faults.empty()) faults += "; ";
      faults += fmt::format("{} ({} at line {}, column {})", file.path, file.message, file.line,
                            file.column);
    }
    final_message(MSG_FILES_INCOMPLETE, FormatMessage(MSG_FILES_INCOMPLETE, faults, output));
    return;
  }
  result.outcome = ConversionOutcome::Succeeded;
  if (result.approx_computed && result.not_computed > 0) {
    final_message(MSG_SUCCESS_APPROX,
                  FormatMessage(MSG_SUCCESS_APPROX, output, result.not_computed),
                  StepBudgetSentence(request_, run_));
  } else {
    final_message(MSG_SUCCESS, FormatMessage(MSG_SUCCESS, output));
  }
}

}  // namespace fenwix
