#include "app/job_session.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

#include "app/field_validation.h"
#include "app/job_conversion.h"
#include "job/job_paths.h"
#include "platform/file_access.h"

namespace fenwix {

namespace {

// The job with every path of the file at job_path made absolute, or relative to it.
Job Rebased(Job job, const std::string& job_path, bool to_absolute) {
  const auto convert = [&](std::string& path) {
    if (path.empty()) return;
    path = to_absolute ? AbsoluteJobPath(ResolveJobPath(job_path, path))
                       : RelativeJobPath(job_path, path);
  };
  for (JobInput& input : job.inputs) convert(input.path);
  convert(job.output);
  for (JobLeaveOut& leave_out : job.leave_out) convert(leave_out.file);
  for (JobRename& rename : job.renames) convert(rename.file);
  return job;
}

}  // namespace

JobOptions OptionsOfRequest(const ConversionRequest& request, const JobOptions& before) {
  JobOptions options = before;
  options.seed = request.seed_name;
  options.lat = FormatFieldNumber(request.seed_latitude);
  options.lon = FormatFieldNumber(request.seed_longitude);
  options.height = request.seed_height;
  options.north = request.seed_north;
  options.east = request.seed_east;
  options.elev = request.seed_elevation;
  options.tolerance = request.merge_tolerance;
  options.max_steps = request.max_steps;
  options.geodetic = request.compute_geodetic;
  options.local = request.compute_local;
  options.test = request.tolerance_mode == TOLERANCE_MODE_2D ? "2d" : "3d";
  options.datum = request.approx_datum_name + "," + FormatFieldNumber(request.approx_datum_a) +
                  "," + FormatFieldNumber(request.approx_datum_inv_f);
  // The precision's options only where they differ from the program's: a job saved with the
  // defaults reads as it always did.
  options.precision_datum = request.precision_datum.empty()
                                ? std::nullopt
                                : std::optional<std::string>(request.precision_datum);
  options.confidence = std::nullopt;
  if (request.precision_confidence != DEFAULT_PRECISION_CONFIDENCE) {
    options.confidence = request.precision_confidence > 0.0
                             ? FormatFieldNumber(request.precision_confidence)
                             : std::string("1sigma");
  }
  options.relative_precision = std::nullopt;
  if (request.relative_mm != DEFAULT_RELATIVE_MM || request.relative_ppm != DEFAULT_RELATIVE_PPM)
    options.relative_precision = FormatRelativeStandard(request.relative_mm, request.relative_ppm);
  return options;
}

void JobSession::New() {
  path_.clear();
  job_ = Job{};
  modified_ = false;
}

Status JobSession::Open(const std::string& path, ConversionRequest& request, std::string* note) {
  Result<Job> read = ReadJobFile(path);
  if (!read.ok()) return read.status();
  Job& job = read.value();
  // Checked on a fresh request first, so that a refused job changes nothing.
  ConversionRequest trial;
  if (Status refused = ApplyJobOptions(job, trial); refused.failed()) return refused;
  const Status output_refused = RefuseJobOutput(job, path);
  const bool output_left = output_refused.failed() || job.output.empty();
  if (Status refused = ApplyJobFiles(job, path, output_left, trial); refused.failed()) {
    return refused;
  }
  if (output_refused.failed() && note != nullptr) *note = output_refused.text();
  // Both were checked on the trial request just now.
  (void)ApplyJobOptions(job, request);
  (void)ApplyJobFiles(job, path, output_left, request);
  if (output_refused.failed()) job.output.clear();
  path_ = AbsoluteJobPath(path);
  job_ = Rebased(std::move(job), path_, true);
  modified_ = false;
  return Status();
}

void JobSession::Adopt(Job job, const std::string& path) {
  path_.clear();
  job_ = Rebased(std::move(job), path, true);
  modified_ = true;
}

Status JobSession::SaveAs(const std::string& path, const ConversionRequest& request,
                          bool all_weights) {
  Job job = job_;
  // The dialog's field files, each keeping what the job knew of it (its instrument).
  std::vector<JobInput> inputs;
  for (const std::string& path : request.xml_paths) {
    const std::string xml = AbsoluteJobPath(path);
    JobInput input{xml, "", ""};
    for (const JobInput& known : job_.inputs) {
      if (known.path == xml) input.instrument = known.instrument;
    }
    inputs.push_back(std::move(input));
  }
  job.inputs = std::move(inputs);
  job.output = request.output_path.empty() ? "" : AbsoluteJobPath(request.output_path);
  job.options = OptionsOfRequest(request, job.options);
  // The weighting in force, so that the job says how its output was weighted.
  const WeightProfile& weights = request.weight_profile.profile;
  if (all_weights || weights.instrument != InstrumentProfile{}) {
    const std::string name =
        request.weight_profile.name.empty() ? std::string("default") : request.weight_profile.name;
    job.instruments[name] = weights.instrument;
    for (JobInput& input : job.inputs) {
      if (input.instrument.empty()) input.instrument = name;
    }
  }
  job.gnss.reset();
  if (all_weights || weights.gnss != GnssProfile{}) job.gnss = weights.gnss;
  const std::string target = AbsoluteJobPath(path);
  Job on_disk = Rebased(job, target, false);
  RenewFingerprints(on_disk, target);
  // A leave-out or rename of a file no longer among the inputs would make the file unreadable.
  std::unordered_set<std::string> listed;
  for (const JobInput& input : on_disk.inputs) listed.insert(JobPathKey(input.path));
  std::erase_if(on_disk.leave_out, [&listed](const JobLeaveOut& leave_out) {
    return listed.count(JobPathKey(leave_out.file)) == 0;
  });
  std::erase_if(on_disk.renames, [&listed](const JobRename& rename) {
    return !rename.file.empty() && listed.count(JobPathKey(rename.file)) == 0;
  });
  DescribeLeftOutElements(on_disk, target);
  if (Status refused = SaveJobFile(on_disk, target); refused.failed()) return refused;
  path_ = target;
  job_ = Rebased(std::move(on_disk), path_, true);
  modified_ = false;
  return Status();
}

void JobSession::PrepareConversion(ConversionRequest& request) const {
  // The job holds absolute paths; the edits go to the files where they stand in the list now.
  std::unordered_map<std::string, int32_t> xml_at;
  for (size_t i = 0; i < request.xml_paths.size(); ++i) {
    xml_at.emplace(AbsoluteJobPath(request.xml_paths[i]), static_cast<int32_t>(i));
  }
  request.edits = JobReadingEdits(job_, [&xml_at](const std::string& file) {
    const auto found = xml_at.find(file);
    return found == xml_at.end() ? int32_t{-1} : found->second;
  });
  request.merge_answers = job_.merges;
  request.job_file_path = path_;
  // The notes name the files as the command line names them for the same job.
  request.field_file_names = NoteFileNames(path_, request.xml_paths);
  // Each file's own instrument, by where the file is now in the list; none when every file is
  // weighted with the profile in use anyway.
  const std::vector<NamedWeightProfile> weighting =
      FileWeighting(request.xml_paths, request.weight_profile);
  request.file_instruments.clear();
  for (const NamedWeightProfile& named : weighting) {
    if (named != request.weight_profile) {
      for (const NamedWeightProfile& own : weighting) {
        request.file_instruments.emplace_back(own.profile.instrument);
      }
      break;
    }
  }
}

std::vector<NamedWeightProfile> JobSession::FileWeighting(const std::vector<std::string>& xml_paths,
                                                          const NamedWeightProfile& in_use) const {
  std::vector<NamedWeightProfile> weighting(xml_paths.size(), in_use);
  for (size_t i = 0; i < xml_paths.size(); ++i) {
    const std::string xml = AbsoluteJobPath(xml_paths[i]);
    for (const JobInput& input : job_.inputs) {
      const auto found = job_.instruments.find(input.instrument);
      if (input.path != xml || found == job_.instruments.end()) continue;
      weighting[i].name = found->first;
      weighting[i].profile.instrument = found->second;
    }
  }
  return weighting;
}

bool JobSession::ForgetInstruments() {
  bool named = false;
  for (JobInput& input : job_.inputs) {
    named = named || !input.instrument.empty();
    input.instrument.clear();
  }
  job_.instruments.clear();
  modified_ = modified_ || named;
  return named;
}

std::vector<std::string> JobSession::UseEstimatedPrecision(const PrecisionScales& scales,
                                                           ConversionRequest& request) {
  NamedWeightProfile& in_use = request.weight_profile;
  const WeightProfile before = in_use.profile;
  in_use.profile.instrument = ScaledInstrument(before.instrument, scales);
  in_use.profile.gnss = ScaledGnss(before.gnss, scales);
  std::vector<std::string> changes = PrecisionChanges(before, in_use.profile);
  for (auto& [name, instrument] : job_.instruments) {
    // The job's instrument that is the profile in use changes with it, said once.
    if (name == in_use.name && instrument == before.instrument) {
      instrument = in_use.profile.instrument;
      continue;
    }
    const InstrumentProfile was = instrument;
    instrument = ScaledInstrument(was, scales);
    for (const std::string& line : PrecisionChanges({was, {}}, {instrument, {}})) {
      changes.push_back(name + ": " + line);
    }
  }
  if (job_.gnss) job_.gnss = in_use.profile.gnss;
  for (std::optional<InstrumentProfile>& own : request.file_instruments) {
    if (own) own = ScaledInstrument(*own, scales);
  }
  modified_ = modified_ || !changes.empty();
  return changes;
}

bool JobSession::KeepAnswers(const ConversionRun& run) {
  for (const PairAnswer& answer : run.answers_given) job_.merges.push_back(answer);
  modified_ = modified_ || !run.answers_given.empty();
  return !run.answers_given.empty();
}

std::vector<std::string> JobSession::ChangedFiles(const std::vector<std::string>& xml_paths) const {
  std::vector<std::string> changed = ChangedFieldFiles(job_, path_);
  std::erase_if(changed, [&](const std::string& file) {
    const std::string absolute = AbsoluteJobPath(file);
    return std::none_of(xml_paths.begin(), xml_paths.end(),
                        [&](const std::string& xml) { return AbsoluteJobPath(xml) == absolute; });
  });
  return changed;
}

size_t JobSession::EditsOf(const std::string& file) const {
  return static_cast<size_t>(std::count_if(job_.leave_out.begin(), job_.leave_out.end(),
                                           [&](const JobLeaveOut& l) { return l.file == file; }) +
                             std::count_if(job_.renames.begin(), job_.renames.end(),
                                           [&](const JobRename& r) { return r.file == file; }));
}

EditsFound JobSession::MoveEditsOf(const std::string& file) {
  const Job before = job_;
  EditsFound found = MoveEditsOfChangedFile(job_, path_, file);
  modified_ = modified_ || job_ != before;
  return found;
}

void JobSession::DropEditsOf(const std::string& file) {
  const size_t before = job_.leave_out.size() + job_.renames.size();
  std::vector<uint8_t> unfound(job_.leave_out.size(), 0);
  for (const size_t i : MoveEditsOfChangedFile(job_, path_, file).unfound) unfound[i] = 1;
  std::vector<JobLeaveOut> kept;
  for (size_t i = 0; i < job_.leave_out.size(); ++i) {
    if (unfound[i] == 0) kept.push_back(std::move(job_.leave_out[i]));
  }
  job_.leave_out = std::move(kept);
  std::erase_if(job_.renames, [&](const JobRename& r) { return r.file == file; });
  for (JobInput& input : job_.inputs) {
    if (input.path != file) continue;
    int error = 0;
    if (auto sha256 = FileSha256(input.path, error)) input.sha256 = *sha256;
  }
  modified_ = modified_ || before != job_.leave_out.size() + job_.renames.size();
}

bool JobSession::LeaveOut(const std::string& file, int64_t line, const std::string& reason) {
  const std::string absolute = AbsoluteJobPath(file);
  if (IsLeftOut(absolute, line)) return false;
  job_.leave_out.push_back(JobLeaveOut{absolute, line, reason, {}});
  modified_ = true;
  return true;
}

bool JobSession::PutBack(const std::string& file, int64_t line) {
  const std::string absolute = AbsoluteJobPath(file);
  const size_t removed = std::erase_if(
      job_.leave_out, [&](const JobLeaveOut& l) { return l.file == absolute && l.line == line; });
  modified_ = modified_ || removed > 0;
  return removed > 0;
}

bool JobSession::IsLeftOut(const std::string& file, int64_t line) const {
  const std::string absolute = AbsoluteJobPath(file);
  return std::any_of(job_.leave_out.begin(), job_.leave_out.end(),
                     [&](const JobLeaveOut& l) { return l.file == absolute && l.line == line; });
}

void JobSession::Rename(const std::string& from, const std::string& to, const std::string& file,
                        int64_t line) {
  job_.renames.push_back(
      JobRename{from, to, file.empty() ? "" : AbsoluteJobPath(file), file.empty() ? 0 : line});
  modified_ = true;
}

void JobSession::ForgetRename(size_t index) {
  if (index >= job_.renames.size()) return;
  job_.renames.erase(job_.renames.begin() + static_cast<std::ptrdiff_t>(index));
  modified_ = true;
}

void JobSession::ForgetMerge(size_t index) {
  if (index >= job_.merges.size()) return;
  job_.merges.erase(job_.merges.begin() + static_cast<std::ptrdiff_t>(index));
  modified_ = true;
}

std::string JobSession::Name() const {
  if (path_.empty()) return "Untitled";
  const std::u8string name =
      std::filesystem::path(std::u8string(path_.begin(), path_.end())).filename().u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace fenwix
