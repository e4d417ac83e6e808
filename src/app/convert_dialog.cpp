#include "app/convert_dialog.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#include "app/field_validation.h"
#include "app/file_problem.h"
#include "app/messages.h"
#include "approx/approx_coordinates.h"
#include "geodesy/angles.h"
#include "geodesy/ellipsoid.h"
#include "model/station_merging.h"
#include "platform/utf8_path.h"
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

int32_t ConvertDialog::FindStation(UserInterface& ui, const std::string& name) {
  const int32_t index = tables.FindStation(name);
  if (index == 0) FormatMessageBox(ui, MSG_SEED_NOT_FOUND, name, xml_path);
  return index;
}

bool ConvertDialog::MergeSimilarStations(UserInterface& ui) {
  return fenwix::MergeSimilarStations(
      tables, merge_tolerance, tolerance_mode == TOLERANCE_MODE_2D,
      [&ui](const StationRecord& first, const StationRecord& second) {
        return ui.AskSimilarStations(first, second);
      });
}

int32_t ConvertDialog::ComputeApproxCoordinates(UserInterface& ui, int32_t seed_index) {
  WaitCursor wait(ui);
  bool cancelled = false;
  const double stations = std::max(1, tables.station_count() - 1);
  const auto keep_going = [&](int32_t known) {
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
  return cancelled ? -1 : not_computed;
}

ConversionOutcome ConvertDialog::RunConversion(UserInterface& ui) {
  try {
    tables.ResetTables();
    placements.clear();
    centring_gaps.clear();
    reading_log.Clear();
    check_report = CheckReport{};
    xml_path = TrimWhiteSpace(xml_path);
    output_path = TrimWhiteSpace(output_path);
    if (xml_path.empty()) {
      FormatMessageBox(ui, MSG_NO_XML_NAME);
      return ConversionOutcome::Failed;
    }
    if (output_path.empty()) {
      FormatMessageBox(ui, MSG_NO_OUTPUT_NAME);
      return ConversionOutcome::Failed;
    }
    // Checked before the output is touched, so a mistyped input name costs nothing.
    if (const int read_error = ReadError(xml_path)) {
      FormatMessageBox(ui, MSG_CANNOT_READ, xml_path, FileProblemText(read_error, xml_path));
      return ConversionOutcome::Failed;
    }
    if (IsSameFile(xml_path, output_path)) {
      FormatMessageBox(ui, MSG_OUTPUT_IS_INPUT, output_path);
      return ConversionOutcome::Failed;
    }
    OutputFile out;
    if (!out.Open(output_path)) {
      FormatMessageBox(ui, MSG_CANNOT_OPEN, output_path,
                       FileProblemText(out.open_error(), output_path));
      return ConversionOutcome::Failed;
    }

    SaxReader reader;
    XmlContentHandler handler(tables);
    reader.Attach(&handler);
    if (run_checks) handler.AttachLog(&reading_log);

    const auto error_exit = [&](int32_t error) {
      out.Discard();
      if (error == WRITE_ERROR) {
        FormatMessageBox(ui, MSG_WRITE_ERROR, output_path);
      } else if (error == MEMORY_ERROR) {
        FormatMessageBox(ui, MSG_NO_MEMORY);
      } else {
        FormatMessageBox(ui, MSG_CANCELLED);
      }
      return ConversionOutcome::Failed;
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
      FormatMessageBox(ui, MSG_CANCELLED);
      return ConversionOutcome::Cancelled;
    };
    std::error_code size_error;
    const double xml_size = std::max<double>(
        1, static_cast<double>(std::filesystem::file_size(PathFromUtf8(xml_path), size_error)));
    reader.set_progress([&](int64_t bytes) {
      return ui.ReportProgress(RunPhase::Reading,
                               std::min(1.0, static_cast<double>(bytes) / xml_size));
    });
    if (!size_error) tables.ExpectInputBytes(static_cast<uint64_t>(xml_size));
    ParseResult parse;
    {
      WaitCursor wait(ui);
      parse = reader.ParseFile(xml_path);
    }
    if (parse.status == ParseResult::Status::Cancelled) return cancel_exit();
    if (parse.status == ParseResult::Status::Unreadable) {
      out.Discard();
      FormatMessageBox(ui, MSG_CANNOT_READ, xml_path, parse.message);
      return ConversionOutcome::Failed;
    }

    bool geodetic = false;
    bool local = false;
    bool approx_computed = false;
    int32_t not_computed = 0;
    seed_name = TrimWhiteSpace(seed_name);
    if (!seed_name.empty()) {
      const int32_t seed_index = FindStation(ui, seed_name);
      if (seed_index != 0) {
        geodetic = compute_geodetic > 0;
        local = compute_local > 0;
        if (geodetic || local) {
          approx_computed = true;
          if (!ui.ReportProgress(RunPhase::Merging, 0.0) || !MergeSimilarStations(ui)) {
            return cancel_exit();
          }
          not_computed = ComputeApproxCoordinates(ui, seed_index);
          if (not_computed < 0) return cancel_exit();
          if (!ui.ReportProgress(RunPhase::Merging, 0.5) || !MergeSimilarStations(ui)) {
            return cancel_exit();
          }
        }
      }
    }

    if (!ui.ReportProgress(RunPhase::Writing, 0.0)) return cancel_exit();
    if (parse.status == ParseResult::Status::NotWellFormed) {
      WriteIncompleteNote(out, xml_path, parse.message, parse.line, parse.column, error);
      if (error > 0) return error_exit(error);
    }
    WriteStations(geodetic, local, tables, writer_state, out, error);
    if (error > 0) return error_exit(error);
    const RecordWeights weights(
        tables, {weight_profile.profile}, {},
        WeightContext{approx_computed, DmsToRadians(seed_latitude), DmsToRadians(seed_longitude)});
    centring_gaps = weights.centring_gaps();
    WriteObservations(tables, writer_state, out, error, weights);
    if (error > 0) return error_exit(error);
    if (!ui.ReportProgress(RunPhase::Writing, 0.5)) return cancel_exit();
    if (!out.Commit()) return error_exit(WRITE_ERROR);
    ui.ReportProgress(RunPhase::Writing, 1.0);
    if (run_checks) RunChecksOnTables(approx_computed);

    // The final message, followed by what the check report flagged when it ran.
    const auto final_message = [&](int32_t id, const std::string& text) {
      ui.ShowMessage(id, CutUtf8(text + CheckSummary(), MAX_MESSAGE_BYTES));
    };
    if (parse.status == ParseResult::Status::NotWellFormed) {
      final_message(MSG_READ_INCOMPLETE,
                    FormatMessage(MSG_READ_INCOMPLETE, xml_path, parse.message,
                                  static_cast<long long>(parse.line),
                                  static_cast<long long>(parse.column), output_path));
      return ConversionOutcome::Incomplete;
    }
    if (approx_computed) {
      final_message(MSG_SUCCESS_APPROX,
                    FormatMessage(MSG_SUCCESS_APPROX, output_path, not_computed));
    } else {
      final_message(MSG_SUCCESS, FormatMessage(MSG_SUCCESS, output_path));
    }
    return ConversionOutcome::Succeeded;
  } catch (const std::bad_alloc&) {
    FormatMessageBox(ui, MSG_NO_MEMORY);
    return ConversionOutcome::Failed;
  }
}

}  // namespace fenwix
