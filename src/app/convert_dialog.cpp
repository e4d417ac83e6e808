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

ConvertDialog::ConvertDialog() = default;

void ConvertDialog::InitializeDefaults() {
  writer_state.output_datum_name = "WGS 84";
  writer_state.output_datum_a = 6378137.0;
  writer_state.output_datum_inv_f = 298.257223563;
  writer_state.default_angle_sd = 5.0;
  writer_state.default_zenith_sd = 5.0;
  writer_state.default_coord_sd = 0.005;
}

std::string ConvertDialog::FieldFileName(int32_t file) const {
  if (file >= 0 && static_cast<size_t>(file) < field_file_names.size()) {
    return field_file_names[static_cast<size_t>(file)];
  }
  if (file >= 0 && static_cast<size_t>(file) < xml_paths.size()) {
    return xml_paths[static_cast<size_t>(file)];
  }
  return std::string();
}

int32_t ConvertDialog::FindStation(UserInterface& ui, const std::string& name) {
  const int32_t index = tables.FindStation(name);
  if (index == 0) FormatMessageBox(ui, MSG_SEED_NOT_FOUND, name, JoinFileNames(xml_paths));
  return index;
}

bool ConvertDialog::MergeSimilarStations(UserInterface& ui) {
  std::vector<int32_t> first_rows;
  return fenwix::MergeSimilarStations(
      tables, merge_tolerance, tolerance_mode == TOLERANCE_MODE_2D,
      [this, &ui, &first_rows](const StationRecord& first, const StationRecord& second) {
        if (const auto kept = KeptAnswer(merge_answers, first.name, second.name)) {
          WarnUnaskedPair(first, second, *kept, "the job's \"merges\" answers it", first_rows);
          return *kept;
        }
        const MergeAnswer answer = ui.AskSimilarStations(first, second);
        if (const std::string why = ui.UnaskedReason(); !why.empty()) {
          WarnUnaskedPair(first, second, answer, why, first_rows);
        }
        if (const auto given = KeepAnswer(answer, first.name, second.name)) {
          answers_given.push_back(*given);
        }
        return answer;
      });
}

int32_t ConvertDialog::ComputeApproxCoordinates(UserInterface& ui, int32_t seed_index) {
  WaitCursor wait(ui);
  bool cancelled = false;
  const double stations = std::max(1, tables.station_count() - 1);
  // Asked after every step that did not end the propagation for want of anything new to place,
  // so max_steps calls mean that the budget ended it.
  int32_t steps = 0;
  const auto keep_going = [&](int32_t known) {
    ++steps;
    cancelled = !ui.ReportProgress(RunPhase::Approximating, known / stations);
    return !cancelled;
  };
  const Ellipsoid datum =
      ChooseDatumEllipsoid(approx_datum_name, approx_datum_a, approx_datum_inv_f);
  writer_state.output_datum_name = datum.name;
  writer_state.output_datum_a = datum.a;
  writer_state.output_datum_inv_f = datum.inv_f;
  const int32_t not_computed = fenwix::ComputeApproxCoordinates(
      tables, seed_index,
      SeedPosition{seed_latitude, seed_longitude, seed_height, seed_north, seed_east,
                   seed_elevation},
      datum, &placements, max_steps, PropagationProgress(keep_going));
  step_budget_ended = max_steps > 0 && steps >= max_steps && not_computed > 0;
  return cancelled ? -1 : not_computed;
}

std::string ConvertDialog::StepBudgetSentence() const {
  if (!step_budget_ended) return std::string();
  return "\n\nThe step budget of " + std::to_string(max_steps) +
         " steps ended before these stations were reached. To compute every reachable station, "
         "convert with --max-steps 0, or tick Options → \"Compute every reachable station\".";
}

bool ConversionResult::refused_names() const {
  return outcome == ConversionOutcome::Failed && refused;
}

ConversionResult ConvertDialog::RunConversion(UserInterface& ui) {
  ConversionResult result;
  // Shows a message and makes it the reason the run ends with.
  const auto show = [&](int32_t id, const auto&... args) {
    FormatMessageBox(ui, id, args...);
    result.reason = id;
  };
  const auto failed = [&](int32_t id, const auto&... args) {
    show(id, args...);
    result.outcome = ConversionOutcome::Failed;
    return result;
  };
  // A failure of the request itself (a name that cannot be used), not of the system.
  const auto refuse = [&](int32_t id, const auto&... args) {
    result.refused = true;
    return failed(id, args...);
  };
  try {
    tables.ResetTables();
    placements.clear();
    centring_gaps.clear();
    step_budget_ended = false;
    reading_log.Clear();
    reading_warnings.Clear();
    name_replacements.Clear();
    check_report = CheckReport{};
    std::vector<std::string> inputs;
    for (const std::string& path : xml_paths) {
      std::string trimmed = TrimWhiteSpace(path);
      if (!trimmed.empty()) inputs.push_back(std::move(trimmed));
    }
    xml_paths = inputs;
    answers_given.clear();
    edits.BeginReading();
    output_path = TrimWhiteSpace(output_path);
    if (xml_paths.empty()) return refuse(MSG_NO_XML_NAME);
    if (output_path.empty()) return refuse(MSG_NO_OUTPUT_NAME);
    // Checked before the output is touched, so a mistyped input name costs nothing; and no
    // field file is ever written over, whatever the names.
    SetProtectedFiles(xml_paths, job_file_path);
    for (const std::string& path : xml_paths) {
      if (const int read_error = ReadError(path)) {
        result.refused = read_error == NOT_A_REGULAR_FILE;
        return failed(MSG_CANNOT_READ, path, FileProblemText(read_error, path));
      }
    }
    if (const auto twice = FirstRepeatedFile(xml_paths)) {
      return refuse(MSG_INPUT_TWICE, xml_paths[twice->first], xml_paths[twice->second]);
    }
    for (const std::string& path : xml_paths) {
      if (IsSameFile(path, output_path)) return refuse(MSG_OUTPUT_IS_INPUT, output_path);
    }
    if (IsXmlDocument(output_path)) return refuse(MSG_OUTPUT_IS_XML, output_path);
    OutputFile out;
    if (!out.Open(output_path)) {
      result.refused = out.open_error() == TARGET_IS_PROTECTED;
      return failed(MSG_CANNOT_OPEN, output_path, FileProblemText(out.open_error(), output_path));
    }

    SaxReader reader;
    XmlContentHandler handler(tables);
    reader.Attach(&handler);
    if (run_checks) handler.AttachLog(&reading_log);
    handler.SetJobUnits(job_linear_unit, job_angle_unit);
    handler.AttachWarnings(&reading_warnings);
    handler.AttachEdits(&edits);
    handler.AttachNameReplacements(&name_replacements);
    edits.BeginFile(0);

    const auto error_exit = [&](int32_t error) {
      out.Discard();
      if (error == WRITE_ERROR) {
        // The system's reason, a full disk above all, after the name.
        const int why = out.write_error();
        return failed(MSG_WRITE_ERROR,
                      why == 0 ? output_path : output_path + ": " + SystemErrorText(why));
      }
      if (error == MEMORY_ERROR) return failed(MSG_NO_MEMORY);
      return failed(MSG_CANCELLED);
    };

    // The header must name the ellipsoid of the coordinates that this same file will carry.
    if (!TrimWhiteSpace(seed_name).empty() && (compute_geodetic > 0 || compute_local > 0)) {
      const Ellipsoid datum =
          ChooseDatumEllipsoid(approx_datum_name, approx_datum_a, approx_datum_inv_f);
      writer_state.output_datum_name = datum.name;
      writer_state.output_datum_a = datum.a;
      writer_state.output_datum_inv_f = datum.inv_f;
    }

    int32_t error = WRITE_OK;
    WriteHeader(out, writer_state, error);
    if (error > 0) return error_exit(error);
    writer_state.current_linear_unit = LINEAR_UNIT_METER;
    writer_state.current_angle_unit = ANGLE_UNIT_CODE_DEGREES;
    WriteUnits(out, LINEAR_UNIT_METER, ANGLE_UNIT_CODE_DEGREES, error);
    if (error > 0) return error_exit(error);
    // The head's default angle blocks say what the profile gives an angle without centring.
    writer_state.default_angle_sd = weight_profile.profile.instrument.angle_sd;
    writer_state.default_zenith_sd = weight_profile.profile.instrument.zenith_sd;
    WriteDefaultSds(out, writer_state, error);
    if (error > 0) return error_exit(error);

    const auto cancel_exit = [&] {
      out.Discard();
      show(MSG_CANCELLED);
      result.outcome = ConversionOutcome::Cancelled;
      return result;
    };
    // The files are read one after the other into the same tables, as one job; progress is
    // the share of all their bytes read.
    uint64_t total_bytes = 0;
    for (const std::string& path : xml_paths) {
      std::error_code size_error;
      const uintmax_t size = std::filesystem::file_size(PathFromUtf8(path), size_error);
      result.files.push_back(FileRead{path, ParseResult{}, size_error ? 0 : size});
      total_bytes += result.files.back().bytes;
    }
    tables.ExpectInputBytes(total_bytes);
    const double progress_total = std::max<double>(1, static_cast<double>(total_bytes));
    uint64_t bytes_before = 0;
    // The first observation row of each file, for the instrument that weights it.
    std::vector<int32_t> first_rows;
    for (FileRead& file : result.files) {
      first_rows.push_back(tables.observation_count());
      reader.set_progress([&](int64_t bytes) {
        const double done = static_cast<double>(bytes_before) + static_cast<double>(bytes);
        return ui.ReportProgress(RunPhase::Reading, std::min(1.0, done / progress_total));
      });
      if (run_checks) reading_log.BeginFile(file.path);
      edits.BeginFile(static_cast<int32_t>(&file - result.files.data()));
      handler.BeginFile();
      reading_warnings.set_file(static_cast<int32_t>(&file - result.files.data()));
      {
        WaitCursor wait(ui);
        file.parse = reader.ParseFile(file.path);
      }
      bytes_before += file.bytes;
      if (file.parse.status == ParseResult::Status::Cancelled) return cancel_exit();
      if (file.parse.status == ParseResult::Status::Unreadable) {
        out.Discard();
        return failed(MSG_CANNOT_READ, file.path, file.parse.message);
      }
    }
    std::vector<IncompleteInput> incomplete;
    for (const FileRead& file : result.files) {
      if (file.parse.status == ParseResult::Status::NotWellFormed) {
        incomplete.push_back(
            IncompleteInput{file.path, file.parse.message, file.parse.line, file.parse.column});
      }
    }

    // An edit whose line starts nothing to leave out points at a line that has changed: the
    // file is not converted on a guess.
    if (const std::vector<LeaveOut> unused = edits.Unused(); !unused.empty()) {
      out.Discard();
      return refuse(MSG_LEAVE_OUT_NOT_FOUND, unused.front().line,
                    FieldFileName(unused.front().file));
    }
    // Names are known only once every file is read; a refusal still comes before any writing.
    if (const NameReplacements::Clash* clash = name_replacements.clash()) {
      out.Discard();
      const NameReplacement* replaced = name_replacements.WrittenAs(clash->name);
      return refuse(MSG_NAME_CLASH, clash->source.line, FieldFileName(clash->source.file),
                    clash->name, VisibleName(replaced->read), replaced->source.line,
                    FieldFileName(replaced->source.file));
    }
    if (const std::string unknown =
            MergesNamingNoStation(merge_answers, tables, edits.name_changes());
        !unknown.empty()) {
      out.Discard();
      return refuse(MSG_MERGE_NO_STATION, unknown);
    }

    bool geodetic = false;
    bool local = false;
    seed_name = TrimWhiteSpace(seed_name);
    if (!seed_name.empty()) {
      const int32_t seed_index = FindStation(ui, seed_name);
      result.seed_not_found = seed_index == 0;
      if (seed_index != 0) {
        geodetic = compute_geodetic > 0;
        local = compute_local > 0;
        if (geodetic || local) {
          result.approx_computed = true;
          if (!ui.ReportProgress(RunPhase::Merging, 0.0) || !MergeSimilarStations(ui)) {
            return cancel_exit();
          }
          result.not_computed = ComputeApproxCoordinates(ui, seed_index);
          if (result.not_computed < 0) return cancel_exit();
          if (!ui.ReportProgress(RunPhase::Merging, 0.5) || !MergeSimilarStations(ui)) {
            return cancel_exit();
          }
        }
      }
    }

    if (!ui.ReportProgress(RunPhase::Writing, 0.0)) return cancel_exit();
    if (!incomplete.empty()) {
      if (result.files.size() == 1) {
        const ParseResult& parse = result.files[0].parse;
        WriteIncompleteNote(out, FieldFileName(0), parse.message, parse.line, parse.column, error);
      } else {
        // The note names the files as the edit notes do; the messages keep their paths.
        std::vector<std::string> names;
        for (size_t i = 0; i < result.files.size(); ++i) {
          if (result.files[i].parse.status == ParseResult::Status::NotWellFormed) {
            names.push_back(FieldFileName(static_cast<int32_t>(i)));
          }
        }
        std::vector<IncompleteInput> named = incomplete;
        for (size_t i = 0; i < named.size(); ++i) named[i].path = names[i];
        WriteIncompleteNote(out, named, error);
      }
      if (error > 0) return error_exit(error);
    }
    if (!edits.empty()) {
      const std::vector<std::string>& names =
          field_file_names.empty() ? xml_paths : field_file_names;
      WriteEditNotes(out, edits, names, error);
      if (error > 0) return error_exit(error);
    }
    WriteStations(geodetic, local, tables, writer_state, out, error);
    if (error > 0) return error_exit(error);
    std::vector<WeightProfile> profiles{weight_profile.profile};
    std::vector<uint16_t> profile_of_row;
    for (size_t file = 0; file < file_instruments.size() && file < first_rows.size(); ++file) {
      if (!file_instruments[file]) continue;
      if (profiles.size() == UINT16_MAX) break;
      WeightProfile own = weight_profile.profile;
      own.instrument = *file_instruments[file];
      profiles.push_back(own);
      profile_of_row.resize(static_cast<size_t>(tables.observation_count()), 0);
      const size_t end = file + 1 < first_rows.size() ? static_cast<size_t>(first_rows[file + 1])
                                                      : profile_of_row.size();
      std::fill(profile_of_row.begin() + first_rows[file],
                profile_of_row.begin() + static_cast<std::ptrdiff_t>(end),
                static_cast<uint16_t>(profiles.size() - 1));
    }
    const RecordWeights weights(tables, std::move(profiles), std::move(profile_of_row),
                                WeightContext{result.approx_computed, DmsToRadians(seed_latitude),
                                              DmsToRadians(seed_longitude)});
    centring_gaps = weights.centring_gaps();
    WriteObservations(tables, writer_state, out, error, weights);
    if (error > 0) return error_exit(error);
    if (!ui.ReportProgress(RunPhase::Writing, 0.5)) return cancel_exit();
    if (!out.Commit()) return error_exit(WRITE_ERROR);
    ui.ReportProgress(RunPhase::Writing, 1.0);
    result.stations = std::max(0, tables.station_count() - 1);
    result.observations = std::max(0, tables.observation_count() - 1);
    adjustment_summary.clear();
    adjustment_input = AdjustmentInput{};
    adjustment_result = AdjustmentResult{};
    if (run_checks) {
      RunChecksOnTables(result.approx_computed, weights);
      if (adjustment_test && result.approx_computed && !check_report.incomplete) {
        TestNetwork(weights, ui);
      }
    }

    // The final message, followed by what the check report flagged when it ran. The message
    // itself is cut to its limit; the sentences after it are short and always shown whole.
    const auto final_message = [&](int32_t id, const std::string& text,
                                   const std::string& more = std::string()) {
      ui.ShowMessage(id,
                     CutUtf8(text, MAX_MESSAGE_BYTES) + more + WarningSummary() + CheckSummary());
      result.reason = id;
    };
    if (!incomplete.empty()) {
      result.outcome = ConversionOutcome::Incomplete;
      if (result.files.size() == 1) {
        const ParseResult& parse = result.files[0].parse;
        final_message(MSG_READ_INCOMPLETE,
                      FormatMessage(MSG_READ_INCOMPLETE, xml_paths[0], parse.message,
                                    static_cast<long long>(parse.line),
                                    static_cast<long long>(parse.column), output_path));
        return result;
      }
      std::string faults;
      for (const IncompleteInput& file : incomplete) {
        if (!faults.empty()) faults += "; ";
        faults += fmt::format("{} ({} at line {}, column {})", file.path, file.message, file.line,
                              file.column);
      }
      final_message(MSG_FILES_INCOMPLETE, FormatMessage(MSG_FILES_INCOMPLETE, faults, output_path));
      return result;
    }
    result.outcome = ConversionOutcome::Succeeded;
    if (result.approx_computed && result.not_computed > 0) {
      final_message(MSG_SUCCESS_APPROX,
                    FormatMessage(MSG_SUCCESS_APPROX, output_path, result.not_computed),
                    StepBudgetSentence());
    } else {
      final_message(MSG_SUCCESS, FormatMessage(MSG_SUCCESS, output_path));
    }
    return result;
  } catch (const std::bad_alloc&) {
    return failed(MSG_NO_MEMORY);
  }
}

}  // namespace fenwix
