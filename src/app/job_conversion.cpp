#include "app/job_conversion.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "app/field_validation.h"
#include "app/file_problem.h"
#include "job/job_paths.h"
#include "platform/file_access.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"
#include "writer/output_file.h"
#include "xml/field_elements.h"

#include <filesystem>
#include <system_error>

namespace fenwix {

namespace {

std::string OptionName(const char* key) {
  return std::string("\"options\".\"") + key + "\"";
}

// A refusal of an option's value, naming the option.
Status OfOption(const char* key, const Status& refused) {
  if (refused.ok()) return refused;
  return Status::Refused(OptionName(key) + ": " + refused.text());
}

// A number of the job file goes through the field's own rule, as if typed into it.
Status ReadOption(const char* key, const std::string& text, double& target,
                  const std::optional<NumberRange>& range) {
  return OfOption(key, ReadNumberField(text, target, range));
}

Status ReadAngleOption(const char* key, const std::string& text, double& target,
                       NumberRange range) {
  if (Status refused = ReadOption(key, text, target, range); refused.failed()) return refused;
  return OfOption(key, CheckPackedAngle(target));
}

bool IsSameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(PathFromUtf8(a), PathFromUtf8(b), ec) && !ec;
}

}  // namespace

Status ReadDatumText(std::string_view text, std::string& name, double& a, double& inv_f) {
  const size_t second_comma = text.rfind(',');
  const size_t first_comma = second_comma == std::string_view::npos || second_comma == 0
                                 ? std::string_view::npos
                                 : text.rfind(',', second_comma - 1);
  if (first_comma == std::string_view::npos)
    return Status::Refused("the value must be NAME,A,INV_F");
  double axis = 0.0;
  double inverse = 0.0;
  if (Status refused = ReadNumberField(text.substr(first_comma + 1, second_comma - first_comma - 1),
                                       axis, std::nullopt);
      refused.failed()) {
    return refused;
  }
  if (Status refused = ReadNumberField(text.substr(second_comma + 1), inverse, std::nullopt);
      refused.failed()) {
    return refused;
  }
  // An ellipsoid that cannot be used is refused here rather than replaced by WGS 84 later,
  // which would put coordinates on an ellipsoid nobody asked for.
  if (Status refused = CheckDatum(text.substr(0, first_comma), axis, inverse); refused.failed()) {
    return refused;
  }
  name = std::string(text.substr(0, first_comma));
  a = axis;
  inv_f = inverse;
  return Status();
}

Status ReadConfidenceText(std::string_view text, double& confidence) {
  const auto refused = [] {
    return Status::Refused("takes a probability between 0 and 1 such as 0.95, or 1sigma");
  };
  if (text == "1sigma") {
    confidence = 0.0;
    return Status();
  }
  const std::optional<double> value = ParseNumberField(text);
  if (!value || !(*value > 0.0) || !(*value < 1.0)) return refused();
  confidence = *value;
  return Status();
}

Status ReadRelativeStandardText(std::string_view text, double& mm, double& ppm) {
  const auto refused = [] {
    return Status::Refused("takes MM,PPM: millimetres plus parts per million, such as 20,50");
  };
  const size_t comma = text.find(',');
  const std::optional<double> first = ParseNumberField(text.substr(0, comma));
  const std::optional<double> second = comma == std::string_view::npos
                                           ? std::optional<double>(0.0)
                                           : ParseNumberField(text.substr(comma + 1));
  if (!first || !second || !(*first >= 0.0) || !(*second >= 0.0) || *first > 1e6 || *second > 1e6 ||
      (*first == 0.0 && *second == 0.0)) {
    return refused();
  }
  mm = *first;
  ppm = *second;
  return Status();
}

std::string FormatRelativeStandard(double mm, double ppm) {
  return FormatFieldNumber(mm) + "," + FormatFieldNumber(ppm);
}

Status ApplyJobOptions(const Job& job, ConversionRequest& request) {
  const JobOptions& options = job.options;
  if (options.seed) {
    if (Status refused = OfOption("seed", CheckSeedName(*options.seed)); refused.failed()) {
      return refused;
    }
    request.seed_name = *options.seed;
  }
  if (options.lat) {
    if (Status refused =
            ReadAngleOption("lat", *options.lat, request.seed_latitude, LATITUDE_RANGE);
        refused.failed()) {
      return refused;
    }
  }
  if (options.lon) {
    if (Status refused =
            ReadAngleOption("lon", *options.lon, request.seed_longitude, LONGITUDE_RANGE);
        refused.failed()) {
      return refused;
    }
  }
  const struct {
    const char* key;
    const std::optional<double>& value;
    double& target;
    std::optional<NumberRange> range;
  } numbers[] = {
      {"height", options.height, request.seed_height, HEIGHT_RANGE},
      {"north", options.north, request.seed_north, GRID_RANGE},
      {"east", options.east, request.seed_east, GRID_RANGE},
      {"elev", options.elev, request.seed_elevation, ELEVATION_RANGE},
      {"tolerance", options.tolerance, request.merge_tolerance, TOLERANCE_RANGE},
  };
  for (const auto& number : numbers) {
    if (!number.value) continue;
    if (Status refused =
            ReadOption(number.key, FormatFieldNumber(*number.value), number.target, number.range);
        refused.failed()) {
      return refused;
    }
  }
  if (options.max_steps) request.max_steps = static_cast<int32_t>(*options.max_steps);
  if (options.geodetic) request.compute_geodetic = *options.geodetic;
  if (options.local) request.compute_local = *options.local;
  if (options.test) {
    request.tolerance_mode = *options.test == "2d" ? TOLERANCE_MODE_2D : TOLERANCE_MODE_3D;
  }
  if (options.datum) {
    if (const Status refused = ReadDatumText(*options.datum, request.approx_datum_name,
                                             request.approx_datum_a, request.approx_datum_inv_f);
        refused.failed()) {
      return Status::Refused(OptionName("datum") + ": " + refused.text());
    }
  }
  if (options.precision_datum) request.precision_datum = *options.precision_datum;
  if (options.confidence) {
    if (const Status refused =
            ReadConfidenceText(*options.confidence, request.precision_confidence);
        refused.failed()) {
      return OfOption("confidence", refused);
    }
  }
  if (options.relative_precision) {
    if (const Status refused = ReadRelativeStandardText(*options.relative_precision,
                                                        request.relative_mm, request.relative_ppm);
        refused.failed()) {
      return OfOption("relative_precision", refused);
    }
  }
  // Each field file's records are weighted with the instrument it names; when every file names
  // the same one, that is simply the profile in use.
  request.file_instruments.clear();
  bool one_instrument = true;
  for (const JobInput& input : job.inputs) {
    one_instrument = one_instrument && input.instrument == job.inputs.front().instrument;
  }
  for (const JobInput& input : job.inputs) {
    if (input.instrument.empty()) {
      request.file_instruments.emplace_back();
      continue;
    }
    const auto found = job.instruments.find(input.instrument);
    if (found == job.instruments.end()) {
      return Status::Refused("no instrument \"" + input.instrument + "\" in \"instruments\"");
    }
    request.file_instruments.emplace_back(found->second);
    if (one_instrument) {
      request.weight_profile.profile.instrument = found->second;
      request.weight_profile.name = found->first;
    }
  }
  if (one_instrument) request.file_instruments.clear();
  if (job.gnss) request.weight_profile.profile.gnss = *job.gnss;
  return Status();
}

Status ApplyJobFiles(const Job& job, const std::string& job_path, bool output_given,
                     ConversionRequest& request) {
  if (job.inputs.empty()) return Status::Refused("it names no field file (\"inputs\" is empty)");
  if (!output_given) {
    if (Status refused = RefuseJobOutput(job, job_path); refused.failed()) return refused;
    if (job.output.empty()) {
      return Status::Refused("it names no output file (\"output\"); give one after the job file");
    }
    request.output_path = ResolveJobPath(job_path, job.output);
    request.output_folder = Utf8FromPath(PathFromUtf8(AbsoluteJobPath(job_path)).parent_path());
  }
  request.job_file_path = job_path;
  request.xml_paths.clear();
  for (const JobInput& input : job.inputs) {
    request.xml_paths.push_back(ResolveJobPath(job_path, input.path));
  }
  request.field_file_names = NoteFileNames(job_path, request.xml_paths);
  std::unordered_map<std::string, int32_t> input_at;
  for (size_t i = 0; i < job.inputs.size(); ++i) {
    input_at.emplace(JobPathKey(job.inputs[i].path), static_cast<int32_t>(i));
  }
  request.edits = JobReadingEdits(job, [&input_at](const std::string& file) {
    const auto found = input_at.find(JobPathKey(file));
    return found == input_at.end() ? int32_t{-1} : found->second;
  });
  request.merge_answers = job.merges;
  return Status();
}

ReadingEdits JobReadingEdits(const Job& job,
                             const std::function<int32_t(const std::string&)>& file_index) {
  ReadingEdits edits;
  for (const JobLeaveOut& leave_out : job.leave_out) {
    const int32_t file = file_index(leave_out.file);
    if (file >= 0) {
      edits.AddLeaveOut(LeaveOut{file, static_cast<int32_t>(leave_out.line), leave_out.reason});
    }
  }
  // A rename for one file wins over one for every file whatever their order (ReadName).
  for (const JobRename& rename : job.renames) {
    const int32_t file = rename.file.empty() ? -1 : file_index(rename.file);
    if (rename.file.empty() || file >= 0)
      edits.AddNameChange(
          NameChange{rename.from, rename.to, file, static_cast<int32_t>(rename.line)});
  }
  return edits;
}

std::vector<std::string> ChangedFieldFiles(const Job& job, const std::string& job_path) {
  std::vector<std::string> changed;
  const std::unordered_set<std::string> edited = job.EditedFiles();
  for (const JobInput& input : job.inputs) {
    if (input.sha256.empty() || edited.count(JobPathKey(input.path)) == 0) continue;
    int error = 0;
    const std::optional<std::string> sha256 =
        FileSha256(ResolveJobPath(job_path, input.path), error);
    if (sha256 && *sha256 != input.sha256) changed.push_back(input.path);
  }
  return changed;
}

void RenewFingerprints(Job& job, const std::string& job_path) {
  for (JobInput& input : job.inputs) {
    int error = 0;
    if (auto sha256 = FileSha256(ResolveJobPath(job_path, input.path), error)) {
      input.sha256 = *sha256;
    }
  }
}

void DescribeLeftOutElements(Job& job, const std::string& job_path) {
  std::unordered_map<std::string, std::vector<JobLeaveOut*>> by_file;
  for (JobLeaveOut& leave_out : job.leave_out) {
    by_file[JobPathKey(leave_out.file)].push_back(&leave_out);
  }
  for (auto& [file, edits] : by_file) {
    const auto elements = ReadFieldElements(ResolveJobPath(job_path, edits.front()->file));
    if (!elements) continue;
    std::unordered_map<int64_t, const std::string*> at_line;
    for (const FieldElement& element : *elements) at_line.emplace(element.line, &element.content);
    for (JobLeaveOut* leave_out : edits) {
      const auto found = at_line.find(leave_out->line);
      leave_out->element = found == at_line.end() ? std::string() : *found->second;
    }
  }
}

EditsFound MoveEditsOfChangedFile(Job& job, const std::string& job_path,
                                  const std::string& input_path) {
  EditsFound found;
  const std::string key = JobPathKey(input_path);
  std::vector<size_t> edits;
  for (size_t i = 0; i < job.leave_out.size(); ++i) {
    if (JobPathKey(job.leave_out[i].file) == key) edits.push_back(i);
  }
  const auto elements = ReadFieldElements(ResolveJobPath(job_path, input_path), &found.unreadable);
  if (!elements) {
    found.unfound = std::move(edits);
    return found;
  }
  std::unordered_map<int64_t, std::string_view> at_line;
  std::unordered_map<std::string_view, std::vector<int64_t>> lines_of;
  for (const FieldElement& element : *elements) {
    at_line.emplace(element.line, element.content);
    lines_of[element.content].push_back(element.line);
  }
  // Elements still on their own line first, so that none of them is taken by another edit.
  std::unordered_set<int64_t> taken;
  std::vector<size_t> elsewhere;
  for (const size_t i : edits) {
    const JobLeaveOut& leave_out = job.leave_out[i];
    const auto here = at_line.find(leave_out.line);
    const bool stays = !leave_out.element.empty() && here != at_line.end() &&
                       here->second == leave_out.element && taken.insert(leave_out.line).second;
    if (!stays) elsewhere.push_back(i);
  }
  for (const size_t i : elsewhere) {
    JobLeaveOut& leave_out = job.leave_out[i];
    const auto lines =
        leave_out.element.empty() ? lines_of.end() : lines_of.find(leave_out.element);
    // An element held twice in the file could be either: the person chooses.
    if (lines == lines_of.end() || lines->second.size() != 1 ||
        !taken.insert(lines->second.front()).second) {
      found.unfound.push_back(i);
      continue;
    }
    found.moved.push_back(MovedEdit{i, leave_out.line, lines->second.front()});
    leave_out.line = lines->second.front();
  }
  std::sort(found.unfound.begin(), found.unfound.end());
  if (!found.unfound.empty()) return found;
  for (JobInput& input : job.inputs) {
    if (JobPathKey(input.path) != key) continue;
    int error = 0;
    if (auto sha256 = FileSha256(ResolveJobPath(job_path, input.path), error)) {
      input.sha256 = *sha256;
    }
  }
  return found;
}

Status SaveJobFile(const Job& job, const std::string& path) {
  // The job's own field files are refused whatever they hold; XML documents, the field files of
  // the last run and any other job file in use are refused by the guarded write.
  for (const JobInput& input : job.inputs) {
    if (IsSameFile(ResolveJobPath(path, input.path), path)) {
      return Status::Refused("it is one of the job's field files, which are never written over");
    }
  }
  OutputFile out;
  if (!out.Open(path, true)) {
    const int why = out.open_error();
    const bool refused = why == TARGET_IS_PROTECTED || why == TARGET_IS_XML_DOCUMENT;
    return Status(refused ? StatusKind::Refused : StatusKind::WriteFailed,
                  FileProblemText(why, path));
  }
  out.WriteBytes(FormatJobText(job));
  if (!out.Commit()) {
    return Status(StatusKind::WriteFailed,
                  "the file could not be written: " + SystemErrorText(out.write_error()));
  }
  return Status();
}

}  // namespace fenwix
