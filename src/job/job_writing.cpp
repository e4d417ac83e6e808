// Writing a job file: keys always in the same order, two-space indentation, so that two saved
// versions of a job compare line by line.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "job/job_file.h"
#include "weights/weight_fields.h"

namespace fenwix {

namespace {

using Json = nlohmann::ordered_json;

// The fields of one part of a profile (the total station's or the GNSS one), a pair as the list
// [first, second] the reader takes; a field without a value is left out.
Json ProfileJson(const WeightProfile& profile, bool gnss) {
  Json json = Json::object();
  for (const WeightField& field : WEIGHT_FIELDS) {
    const std::optional<double> value = field.Value(profile);
    if (field.gnss != gnss || !value) continue;
    const std::string key(field.job_key);
    if (field.pair == WeightPair::Alone) {
      json[key] = *value;
    } else {
      json[key].push_back(*value);
    }
  }
  return json;
}

Json OptionsJson(const JobOptions& options) {
  Json json = Json::object();
  const auto put = [&json](const char* key, const auto& value) {
    if (value) json[key] = *value;
  };
  put("seed", options.seed);
  put("lat", options.lat);
  put("lon", options.lon);
  put("height", options.height);
  put("north", options.north);
  put("east", options.east);
  put("elev", options.elev);
  put("tolerance", options.tolerance);
  put("max_steps", options.max_steps);
  put("geodetic", options.geodetic);
  put("local", options.local);
  put("test", options.test);
  put("merge", options.merge);
  put("datum", options.datum);
  put("precision_datum", options.precision_datum);
  put("confidence", options.confidence);
  put("relative_precision", options.relative_precision);
  return json;
}

}  // namespace

std::string FormatJobText(const Job& job) {
  Json root = Json::object();
  root["fenwix_project"] = JOB_FORMAT_VERSION;
  Json inputs = Json::array();
  for (const JobInput& input : job.inputs) {
    Json entry = Json::object();
    entry["path"] = input.path;
    if (!input.sha256.empty()) entry["sha256"] = input.sha256;
    if (!input.instrument.empty()) entry["instrument"] = input.instrument;
    inputs.push_back(std::move(entry));
  }
  root["inputs"] = std::move(inputs);
  if (!job.output.empty()) root["output"] = job.output;
  const Json options = OptionsJson(job.options);
  if (!options.empty()) root["options"] = options;
  if (!job.instruments.empty()) {
    Json instruments = Json::object();
    for (const auto& [name, instrument] : job.instruments) {
      instruments[name] = ProfileJson({instrument, {}}, false);
    }
    root["instruments"] = std::move(instruments);
  }
  if (job.gnss) root["gnss"] = ProfileJson({{}, *job.gnss}, true);
  if (!job.merges.empty()) {
    Json merges = Json::array();
    for (const PairAnswer& merge : job.merges) {
      Json entry = Json::object();
      if (merge.different) {
        entry["different"] = Json::array({merge.keep, merge.drop});
      } else {
        entry["keep"] = merge.keep;
        entry["drop"] = merge.drop;
      }
      merges.push_back(std::move(entry));
    }
    root["merges"] = std::move(merges);
  }
  if (!job.leave_out.empty()) {
    Json list = Json::array();
    for (const JobLeaveOut& leave_out : job.leave_out) {
      Json entry = Json::object();
      entry["file"] = leave_out.file;
      entry["line"] = leave_out.line;
      if (!leave_out.reason.empty()) entry["reason"] = leave_out.reason;
      if (!leave_out.element.empty()) entry["element"] = leave_out.element;
      list.push_back(std::move(entry));
    }
    root["leave_out"] = std::move(list);
  }
  if (!job.renames.empty()) {
    Json list = Json::array();
    for (const JobRename& rename : job.renames) {
      Json entry = Json::object();
      entry["from"] = rename.from;
      entry["to"] = rename.to;
      if (!rename.file.empty()) entry["file"] = rename.file;
      if (rename.line > 0) entry["line"] = rename.line;
      list.push_back(std::move(entry));
    }
    root["renames"] = std::move(list);
  }
  // Names come from field files and may hold any bytes: invalid UTF-8 is replaced rather than
  // refused, so that a job can always be saved.
  return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace fenwix
