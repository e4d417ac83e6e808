// Reading a job file: JSON through nlohmann-json, then every key checked for its type, so that
// a hand-written file with a mistake is refused with the key named instead of half used.

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "job/job_file.h"
#include "job/job_paths.h"
#include "job/job_renames.h"
#include "model/text_excerpt.h"
#include "platform/file_access.h"
#include "weights/weight_fields.h"

namespace fenwix {

namespace {

using Json = nlohmann::json;

// Thrown inside the reader only, with the message for the person; caught in ReadJobText.
struct Refusal {
  std::string message;
};

// Text quoted from the file goes in as an Excerpt; whatever else a message quotes, no control
// character of the file reaches the person's terminal.
[[noreturn]] void Refuse(std::string message) {
  throw Refusal{Excerpt(message, message.size())};
}

// Lists and objects nested deeper than this are refused before the library builds or prints
// them: a hand-written job file nests three levels, and the library's printing recurses.
constexpr int MAX_NESTING = 64;

// Whether text opens more than MAX_NESTING lists and objects inside one another, strings
// skipped. A plain scan that cannot itself run out of stack.
bool NestedTooDeep(std::string_view text) {
  int depth = 0;
  bool in_string = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > MAX_NESTING) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

const char* TypeName(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::boolean:
      return "true or false";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::array:
      return "a list";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::discarded:
      return "nothing";
    default:
      return "a number";
  }
}

[[noreturn]] void WrongType(const std::string& where, const char* wanted, const Json& value) {
  Refuse(where + " must be " + wanted + ", not " + TypeName(value));
}

std::string String(const Json& value, const std::string& where) {
  if (!value.is_string()) WrongType(where, "a string", value);
  return value.get<std::string>();
}

double Number(const Json& value, const std::string& where) {
  if (!value.is_number()) WrongType(where, "a number", value);
  const double number = value.get<double>();
  if (!std::isfinite(number)) Refuse(where + " must be a finite number");
  return number;
}

// A value of a precision profile, under the profile's own rule (0 or more; a scale above 0).
double Precision(const Json& value, const std::string& where, bool scale = false) {
  const double number = Number(value, where);
  const Status refused = RefuseProfileValue(number, scale);
  if (refused.failed()) Refuse(where + ": " + refused.text());
  return number;
}

int64_t WholeNumber(const Json& value, const std::string& where, int64_t low, int64_t high) {
  if (!value.is_number_integer()) WrongType(where, "a whole number", value);
  const int64_t number =
      value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(high)
          ? high + 1
          : value.get<int64_t>();
  if (number < low || number > high) {
    Refuse(where + " must lie between " + std::to_string(low) + " and " + std::to_string(high));
  }
  return number;
}

bool Boolean(const Json& value, const std::string& where) {
  if (!value.is_boolean()) WrongType(where, "true or false", value);
  return value.get<bool>();
}

const Json& Object(const Json& value, const std::string& where) {
  if (!value.is_object()) WrongType(where, "an object", value);
  return value;
}

const Json& List(const Json& value, const std::string& where) {
  if (!value.is_array()) WrongType(where, "a list", value);
  return value;
}

// The keys of an object that the reader knows; any other is most likely a misspelling, which
// read silently would leave an edit or option out.
void OnlyKeys(const Json& object, const std::string& where,
              std::initializer_list<const char*> keys) {
  for (const auto& [key, value] : object.items()) {
    bool known = false;
    for (const char* name : keys) known = known || key == name;
    if (!known) {
      Refuse(where + " has a key this program does not know: \"" + Excerpt(key) + "\"");
    }
  }
}

std::string At(const std::string& where, size_t index) {
  return where + "[" + std::to_string(index + 1) + "]";
}

// A pair of precisions written as a list of two numbers ([A, B]) or one number (A, B).
std::pair<double, double> Pair(const Json& value, const std::string& where, bool second_as_first,
                               double second_default) {
  if (value.is_number()) {
    const double first = Precision(value, where);
    return {first, second_as_first ? first : second_default};
  }
  if (!value.is_array() || value.empty() || value.size() > 2) {
    Refuse(where + " must be a number or a list of two numbers");
  }
  const double first = Precision(value[0], where + "[1]");
  if (value.size() == 1) return {first, second_as_first ? first : second_default};
  return {first, Precision(value[1], where + "[2]")};
}

JobOptions ReadOptions(const Json& value) {
  const std::string where = "\"options\"";
  Object(value, where);
  OnlyKeys(value, where,
           {"seed", "lat", "lon", "height", "north", "east", "elev", "tolerance", "max_steps",
            "geodetic", "local", "test", "merge", "datum", "precision_datum", "confidence",
            "relative_precision"});
  JobOptions options;
  const auto key = [&](const char* name) { return where + ".\"" + name + "\""; };
  const auto string = [&](const char* name, std::optional<std::string>& target) {
    if (value.contains(name)) target = String(value[name], key(name));
  };
  const auto number = [&](const char* name, std::optional<double>& target) {
    if (value.contains(name)) target = Number(value[name], key(name));
  };
  const auto boolean = [&](const char* name, std::optional<bool>& target) {
    if (value.contains(name)) target = Boolean(value[name], key(name));
  };
  string("seed", options.seed);
  string("lat", options.lat);
  string("lon", options.lon);
  number("height", options.height);
  number("north", options.north);
  number("east", options.east);
  number("elev", options.elev);
  number("tolerance", options.tolerance);
  if (value.contains("max_steps")) {
    options.max_steps =
        WholeNumber(value["max_steps"], key("max_steps"), 0, std::numeric_limits<int32_t>::max());
  }
  boolean("geodetic", options.geodetic);
  boolean("local", options.local);
  string("test", options.test);
  if (options.test && *options.test != "2d" && *options.test != "3d") {
    Refuse(key("test") + " must be \"2d\" or \"3d\"");
  }
  string("merge", options.merge);
  if (options.merge && *options.merge != "ask" && *options.merge != "different" &&
      *options.merge != "first" && *options.merge != "second") {
    Refuse(key("merge") + " must be \"ask\", \"different\", \"first\" or \"second\"");
  }
  string("datum", options.datum);
  string("precision_datum", options.precision_datum);
  string("confidence", options.confidence);
  string("relative_precision", options.relative_precision);
  return options;
}

// The fields of one part of a profile (the total station's or the GNSS one) into profile: each
// key given, a pair as one number (the first) or a list of one or two.
void ReadProfile(const Json& value, const std::string& where, bool gnss, WeightProfile& profile) {
  Object(value, where);
  for (const auto& [key, ignored] : value.items()) {
    if (std::none_of(std::begin(WEIGHT_FIELDS), std::end(WEIGHT_FIELDS),
                     [gnss, &given = key](const WeightField& f) {
                       return f.gnss == gnss && f.job_key == given;
                     })) {
      Refuse(where + " has a key this program does not know: \"" + Excerpt(key) + "\"");
    }
  }
  for (const WeightField& field : WEIGHT_FIELDS) {
    const std::string key(field.job_key);
    if (field.gnss != gnss || field.pair == WeightPair::Second || !value.contains(key)) continue;
    const std::string at = where + ".\"" + key + "\"";
    if (field.pair == WeightPair::Alone) {
      field.SetValue(profile, Precision(value[key], at, field.scale));
      continue;
    }
    const WeightField& second = *PairedField(field);
    const auto [first_value, second_value] =
        Pair(value[key], at, second.follows_first, second.default_value.value_or(0.0));
    field.SetValue(profile, first_value);
    second.SetValue(profile, second_value);
  }
}

InstrumentProfile ReadInstrument(const Json& value, const std::string& where) {
  WeightProfile profile;
  ReadProfile(value, where, false, profile);
  return profile.instrument;
}

GnssProfile ReadGnss(const Json& value) {
  WeightProfile profile;
  ReadProfile(value, "\"gnss\"", true, profile);
  return profile.gnss;
}

std::string NameField(const Json& object, const char* key, const std::string& where) {
  if (!object.contains(key)) Refuse(where + " needs \"" + key + "\"");
  std::string name = String(object[key], where + ".\"" + key + "\"");
  if (name.empty()) Refuse(where + ".\"" + key + "\" must not be empty");
  // A rename writes its name into every record of the station: a name of megabytes would make
  // an output of gigabytes.
  if (name.size() > JOB_STATION_NAME_MAX_BYTES) {
    Refuse(fmt::format("{}.\"{}\" is a station name of {} bytes; a station name holds at most {}",
                       where, key, name.size(), JOB_STATION_NAME_MAX_BYTES));
  }
  return name;
}

// A path key: a string used exactly as written, so refused rather than trimmed when it could be
// read two ways (RefusePathText).
std::string PathField(const Json& object, const char* key, const std::string& where) {
  const std::string at = where + ".\"" + key + "\"";
  if (!object.contains(key)) Refuse(where + " needs \"" + key + "\"");
  std::string path = String(object[key], at);
  if (const Status refused = RefusePathText(at, path); refused.failed()) Refuse(refused.text());
  return path;
}

PairAnswer ReadMerge(const Json& value, const std::string& where) {
  Object(value, where);
  PairAnswer merge;
  if (value.contains("different")) {
    OnlyKeys(value, where, {"different"});
    const Json& pair = value["different"];
    if (!pair.is_array() || pair.size() != 2) {
      Refuse(where + ".\"different\" must be a list of two station names");
    }
    merge.different = true;
    merge.keep = String(pair[0], where + ".\"different\"[1]");
    merge.drop = String(pair[1], where + ".\"different\"[2]");
  } else {
    OnlyKeys(value, where, {"keep", "drop"});
    merge.keep = NameField(value, "keep", where);
    merge.drop = NameField(value, "drop", where);
  }
  if (merge.keep == merge.drop) Refuse(where + " names the same station twice");
  return merge;
}

// Line of a byte offset in the text, counted from 1.
int64_t LineOf(const std::string& text, size_t offset) {
  offset = std::min(offset, text.size());
  return 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n');
}

Job ReadJob(const Json& root) {
  if (!root.is_object()) WrongType("the job file", "a JSON object", root);
  if (!root.contains("fenwix_project")) {
    Refuse("not a job file: \"fenwix_project\" is missing");
  }
  const Json& version = root["fenwix_project"];
  if (!version.is_number_integer() || version.get<int64_t>() != JOB_FORMAT_VERSION) {
    Refuse("a job file of format " + Excerpt(version.dump()) +
           ", which this version of Fenwix does not " + "read (it reads format " +
           std::to_string(JOB_FORMAT_VERSION) + ")");
  }
  OnlyKeys(root, "the job file",
           {"fenwix_project", "inputs", "output", "options", "instruments", "gnss", "merges",
            "leave_out", "renames"});
  Job job;
  if (root.contains("inputs")) {
    const Json& inputs = List(root["inputs"], "\"inputs\"");
    for (size_t i = 0; i < inputs.size(); ++i) {
      const std::string where = At("\"inputs\"", i);
      Object(inputs[i], where);
      OnlyKeys(inputs[i], where, {"path", "sha256", "instrument"});
      JobInput input;
      input.path = PathField(inputs[i], "path", where);
      if (inputs[i].contains("sha256")) {
        input.sha256 = String(inputs[i]["sha256"], where + ".\"sha256\"");
        const bool hex =
            input.sha256.size() == 64 &&
            input.sha256.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
        if (!hex) Refuse(where + ".\"sha256\" must be 64 hexadecimal digits");
        for (char& c : input.sha256) c = static_cast<char>(std::tolower(c));
      }
      if (inputs[i].contains("instrument")) {
        input.instrument = String(inputs[i]["instrument"], where + ".\"instrument\"");
      }
      job.inputs.push_back(std::move(input));
    }
  }
  if (root.contains("output")) {
    job.output = String(root["output"], "\"output\"");
    if (const Status refused = RefusePathText("\"output\"", job.output); refused.failed()) {
      Refuse(refused.text());
    }
  }
  if (root.contains("options")) job.options = ReadOptions(root["options"]);
  if (root.contains("instruments")) {
    const Json& instruments = Object(root["instruments"], "\"instruments\"");
    for (const auto& [name, value] : instruments.items()) {
      job.instruments[name] = ReadInstrument(value, "\"instruments\".\"" + name + "\"");
    }
  }
  if (root.contains("gnss")) job.gnss = ReadGnss(root["gnss"]);
  if (root.contains("merges")) {
    const Json& merges = List(root["merges"], "\"merges\"");
    for (size_t i = 0; i < merges.size(); ++i) {
      job.merges.push_back(ReadMerge(merges[i], At("\"merges\"", i)));
    }
  }
  // Two answers about one pair that disagree leave the surveyor's choice to the order of the
  // list: neither is taken.
  std::map<std::pair<std::string, std::string>, size_t> answered;
  for (size_t i = 0; i < job.merges.size(); ++i) {
    const PairAnswer& merge = job.merges[i];
    const auto pair = std::minmax(merge.keep, merge.drop);
    const auto [at, fresh] = answered.emplace(std::pair{pair.first, pair.second}, i);
    if (!fresh && !(job.merges[at->second] == merge)) {
      Refuse(At("\"merges\"", i) + " answers the pair \"" + Excerpt(merge.keep) + "\" and \"" +
             Excerpt(merge.drop) + "\" otherwise than " + At("\"merges\"", at->second));
    }
  }
  if (root.contains("leave_out")) {
    const Json& list = List(root["leave_out"], "\"leave_out\"");
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string where = At("\"leave_out\"", i);
      Object(list[i], where);
      OnlyKeys(list[i], where, {"file", "line", "reason", "element"});
      JobLeaveOut leave_out;
      leave_out.file = PathField(list[i], "file", where);
      if (!list[i].contains("line")) Refuse(where + " needs \"line\"");
      leave_out.line =
          WholeNumber(list[i]["line"], where + ".\"line\"", 1, std::numeric_limits<int32_t>::max());
      if (list[i].contains("reason")) {
        leave_out.reason = String(list[i]["reason"], where + ".\"reason\"");
      }
      if (list[i].contains("element")) {
        leave_out.element = String(list[i]["element"], where + ".\"element\"");
      }
      job.leave_out.push_back(std::move(leave_out));
    }
  }
  if (root.contains("renames")) {
    const Json& list = List(root["renames"], "\"renames\"");
    for (size_t i = 0; i < list.size(); ++i) {
      const std::string where = At("\"renames\"", i);
      Object(list[i], where);
      OnlyKeys(list[i], where, {"from", "to", "file", "line"});
      JobRename rename;
      rename.from = NameField(list[i], "from", where);
      rename.to = NameField(list[i], "to", where);
      if (list[i].contains("file")) rename.file = PathField(list[i], "file", where);
      // A rename of one reading names the line its element starts on, in one file.
      if (list[i].contains("line")) {
        if (rename.file.empty()) Refuse(where + " needs \"file\" with \"line\"");
        rename.line = WholeNumber(list[i]["line"], where + ".\"line\"", 1,
                                  std::numeric_limits<int32_t>::max());
      }
      job.renames.push_back(std::move(rename));
    }
  }
  // An edit must name one of the field files, or it would silently do nothing. Paths are
  // looked up by hash: a campaign may have thousands of field files and edits.
  std::unordered_map<std::string, size_t> input_at;
  for (size_t i = 0; i < job.inputs.size(); ++i) {
    if (!input_at.emplace(JobPathKey(job.inputs[i].path), i).second) {
      Refuse(At("\"inputs\"", i) + " names \"" + Excerpt(job.inputs[i].path) + "\" a second time");
    }
  }
  const auto names_an_input = [&](const std::string& file) {
    return input_at.count(JobPathKey(file)) > 0;
  };
  for (size_t i = 0; i < job.leave_out.size(); ++i) {
    if (!names_an_input(job.leave_out[i].file)) {
      Refuse(At("\"leave_out\"", i) + " names \"" + Excerpt(job.leave_out[i].file) +
             "\", which is not one of the \"inputs\"");
    }
  }
  for (size_t i = 0; i < job.renames.size(); ++i) {
    if (!job.renames[i].file.empty() && !names_an_input(job.renames[i].file)) {
      Refuse(At("\"renames\"", i) + " names \"" + job.renames[i].file +
             "\", which is not one of the \"inputs\"");
    }
  }
  if (const Status refused = RefuseRenames(job); refused.failed()) Refuse(refused.text());
  for (size_t i = 0; i < job.inputs.size(); ++i) {
    const std::string& instrument = job.inputs[i].instrument;
    if (!instrument.empty() && job.instruments.count(instrument) == 0) {
      Refuse(At("\"inputs\"", i) + " names the instrument \"" + Excerpt(instrument) +
             "\", which \"instruments\" does not define");
    }
  }
  return job;
}

}  // namespace

Result<Job> ReadJobText(const std::string& text, const std::string& name) {
  if (NestedTooDeep(text)) {
    return Status::Refused(name + ": lists and objects nested more than " +
                           std::to_string(MAX_NESTING) + " deep; a job file is not made that way");
  }
  try {
    // The library keeps one value of a key given twice; which one is its choice, not the
    // person's, so such a file is refused naming the key.
    std::vector<std::set<std::string>> keys_seen;
    std::optional<std::string> twice;
    const Json::parser_callback_t note_keys = [&](int, Json::parse_event_t event, Json& parsed) {
      if (event == Json::parse_event_t::object_start) {
        keys_seen.emplace_back();
      } else if (event == Json::parse_event_t::object_end) {
        if (!keys_seen.empty()) keys_seen.pop_back();
      } else if (event == Json::parse_event_t::key && !keys_seen.empty() && !twice &&
                 parsed.is_string() && !keys_seen.back().insert(parsed.get<std::string>()).second) {
        twice = parsed.get<std::string>();
      }
      return true;
    };
    const Json root = Json::parse(text, note_keys);
    if (twice) {
      return Status::Refused(name + ": the key \"" + Excerpt(*twice) +
                             "\" is given twice in one object; give each key once");
    }
    return ReadJob(root);
  } catch (const Json::parse_error& error) {
    // The library's own message repeats the position; the line is what a person looks for.
    const std::string what = error.what();
    const size_t detail = what.find(": ");
    const size_t offset = error.byte > 0 ? error.byte - 1 : 0;
    const auto line = static_cast<int32_t>(LineOf(text, offset));
    return Status::Refused(
        name + " is not valid JSON (line " + std::to_string(line) +
            (detail == std::string::npos ? ")" : "): " + Excerpt(what.substr(detail + 2), 160)),
        SourceLocation{0, line});
  } catch (const Json::exception& error) {
    return Status::Refused(name + ": " + Excerpt(error.what(), 160));
  } catch (const Refusal& refusal) {
    return Status::Refused(name + ": " + refusal.message);
  }
}

Result<Job> ReadJobFile(const std::string& path) {
  std::string text;
  int error = 0;
  if (!ReadWholeFile(path, text, error)) {
    return Status(StatusKind::Unreadable,
                  "Cannot read the job file " + path + ": " + SystemErrorText(error));
  }
  return ReadJobText(text, path);
}

bool Job::operator==(const Job&) const = default;

bool Job::EditsReferTo(const std::string& input_path) const {
  const std::string key = JobPathKey(input_path);
  for (const JobLeaveOut& leave_out : leave_out) {
    if (JobPathKey(leave_out.file) == key) return true;
  }
  for (const JobRename& rename : renames) {
    if (!rename.file.empty() && JobPathKey(rename.file) == key) return true;
  }
  return false;
}

std::unordered_set<std::string> Job::EditedFiles() const {
  std::unordered_set<std::string> files;
  for (const JobLeaveOut& leave_out : leave_out) files.insert(JobPathKey(leave_out.file));
  for (const JobRename& rename : renames) {
    if (!rename.file.empty()) files.insert(JobPathKey(rename.file));
  }
  return files;
}

}  // namespace fenwix
