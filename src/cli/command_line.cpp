#include "cli/command_line.h"

#include <fmt/format.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <tuple>
#include <utility>

#include "adjust/sparse_normals.h"
#include "app/field_validation.h"
#include "app/file_problem.h"
#include "app/job_conversion.h"
#include "app/messages.h"
#include "app/settings_file.h"
#include "cli/print_text.h"
#include "cli/side_file.h"
#include "cli/weight_options.h"
#include "job/job_paths.h"
#include "platform/guarded_write.h"

namespace fenwix {

namespace {

constexpr std::string_view USAGE =
    "Usage: fenwix-convert [options] INPUT.xml... OUTPUT.txt\n"
    "       fenwix-convert [options] -o OUTPUT.txt INPUT.xml...\n"
    "       fenwix-convert [options] --project JOB.fenwix [OUTPUT.txt]\n"
    "Converts Topcon XML jobs into the input file of the network adjustment. Several\n"
    "XML files (the days of a campaign) are read in the order given, as one job.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE     the output file (- for standard output); every other name\n"
    "                        is an input\n"
    "  --seed NAME           seed station for approximate coordinates\n"
    "  --lat DD.MMSSsssss    seed latitude, positive north (default 45)\n"
    "  --lon DD.MMSSsssss    seed longitude, positive east (default -120)\n"
    "  --height METERS       seed ellipsoidal height (default 0)\n"
    "  --north METERS        seed local north (default 100000)\n"
    "  --east METERS         seed local east (default 100000)\n"
    "  --elev METERS         seed local elevation (default 0)\n"
    "  --geodetic            compute approximate latitude, longitude and height\n"
    "  --local               compute approximate north, east and elevation\n"
    "  --tolerance METERS    merge tolerance (default 0.05)\n"
    "  --2d | --3d           horizontal or spatial merge test (default 3D)\n"
    "  --merge ask|different|first|second\n"
    "                        answer to every similar-stations question (default: ask\n"
    "                        when standard input is a terminal, else different)\n"
    "  --datum NAME,A,INV_F  ellipsoid of the approximate coordinates\n"
    "  --settings FILE       start from a dialog configuration file\n"
    "  --project JOB.fenwix  convert the field files of a job file with its options\n"
    "                        and edits; options given beside it override its own\n"
    "  --save-project JOB.fenwix\n"
    "                        once the output is written, also write a job file of the\n"
    "                        run: its field files with their fingerprints, options,\n"
    "                        weights, edits and the answers given about similar\n"
    "                        stations (a job file given to --project may be updated)\n"
    "  --move-edits          with --project, when a field file changed since the job\n"
    "                        file was saved, move each left-out element found\n"
    "                        unchanged in it to its new line and list the others to\n"
    "                        check (--save-project keeps the moved lines)\n"
    "  --use-estimated-precision\n"
    "                        with --save-project, write the precision the adjustment\n"
    "                        test estimated from the job into the saved job's profile\n"
    "                        (each group with a redundancy of 10 or more); this run's\n"
    "                        output keeps the profile's weights\n"
    "  --max-steps N         steps of the approximate-coordinate propagation (default\n"
    "                        100); 0 computes every reachable station\n"
    "  --angle-unit dms|gon  the job's horizontal and zenith angles are packed\n"
    "                        DD.MMSSsssss degrees (default) or gons\n"
    "  --distance-unit m|usft|ft\n"
    "                        unit of the job's distances and heights that carry no\n"
    "                        \"USFeet\" indicator: meters (default), US survey feet or\n"
    "                        international feet\n"
    "  --sketch FILE.svg     also draw the network as an SVG file (- for standard output)\n"
    "  --report FILE         write the check report; .txt, .html or .json names its form\n"
    "                        (- writes the text form to standard output)\n"
    "  --check-limits FILE   limits of the checks, one 'name = value' a line\n"
    "  --no-adjustment-test  leave out the report's free-network adjustment test\n"
    "  --adjustment-memory MB\n"
    "                        memory the adjustment test may take at its peak (default\n"
    "                        1024); a larger job is not tested\n"
    "  --refraction K        test the zenith angles with this refraction coefficient\n"
    "                        (default: estimated from sights taken both ways, else 0.13)\n"
    "  --seed-tolerance M    how far, meters, the seed may lie from where the GNSS vectors\n"
    "                        and zenith angles put it before the report says so\n"
    "                        (default 50, beyond 3 sigma of that estimate)\n"
    "  --precision-datum STATION\n"
    "                        station precision relative to STATION (default: the\n"
    "                        minimum-trace datum of each part)\n"
    "  --confidence P        confidence of the station precision, 0 < P < 1, or\n"
    "                        1sigma for standard deviations (default 0.95)\n"
    "  --relative-precision MM,PPM\n"
    "                        allowance of the 95 % relative precision of stations\n"
    "                        measured to each other (default 20,50)\n"
    "  --angle-sd S          horizontal angle SD, arc-seconds (default 5)\n"
    "  --zenith-sd Z         zenith angle SD, arc-seconds (default 5)\n"
    "  --distance-sd A[,P]   distance SD, A mm + P ppm (default 5,0)\n"
    "  --centering I[,T]     instrument and target centring, mm (default 0; T = I\n"
    "                        when only I is given)\n"
    "  --gnss-scale F        factor on the GNSS standard deviations (default 1)\n"
    "  --gnss-centering H[,V]\n"
    "                        GNSS antenna centring per end, horizontal and vertical,\n"
    "                        mm (default 0; V = H when only H is given)\n"
    "  --gnss-fallback-sd MM SD of each component of a vector given without any\n"
    "                        (default none: such vectors keep a zero covariance)\n"
    "  --help                show this help\n"
    "  --version             show the version\n"
    "\n"
    "Exit status: 0 success; 1 the conversion failed, or the input was not read\n"
    "completely (the output then holds what was read and says so on its first line);\n"
    "2 usage or validation error (including a missing file name; an output, report or\n"
    "sketch that would replace a field file, the job file or any XML document; an input\n"
    "that is not a regular file; an input named twice; an unusable datum; and a job file\n"
    "that cannot be used or whose output leads out of its folder: nothing is written);\n"
    "3 cancelled; 4 the seed station is not in the input (the output is written without\n"
    "approximate coordinates); 5 the output is written but the check report or the job\n"
    "file of --save-project could not be; 6 the output is written and holds a value that\n"
    "a warning calls possibly misread (when no other status applies).\n"
    "Values that may have been misread (an unknown unit indicator, a packed angle with 60\n"
    "minutes or more, a number field that is not wholly a number) are read as always and\n"
    "each gives a warning on standard error, as does an element left out of the output and\n"
    "a pair of similar stations answered without a question.\n";

int UsageError(const std::string& text) {
  PrintProblem(text);
  PrintText(stderr, "{}", USAGE);
  return EXIT_USAGE;
}

// A file named that is never written over: said without the usage, which is not the problem.
int FileRefused(const std::string& text) {
  PrintProblem(text);
  return EXIT_USAGE;
}

int JobRefused(const std::string& job_path, const std::string& reason) {
  PrintProblem(FormatMessage(MSG_JOB_REFUSED, job_path, reason));
  return EXIT_USAGE;
}

// A path option's value or a name, refused when it cannot be used exactly as written: the
// conversion never trims it afterwards.
Step RefusedPath(std::string_view option, const std::string& path) {
  const Status refused = RefusePathText(option, path);
  if (refused.ok()) return std::nullopt;
  PrintProblem(refused.text());
  return EXIT_USAGE;
}

int FieldRefused(std::string_view option, const Status& refused) {
  PrintProblem(fmt::format("{}: {}", option, refused.text()));
  return EXIT_USAGE;
}

std::optional<MergePolicy> ParseMergePolicy(std::string_view text) {
  if (text == "ask") return MergePolicy::Ask;
  if (text == "different") return MergePolicy::Different;
  if (text == "first") return MergePolicy::KeepFirst;
  if (text == "second") return MergePolicy::KeepSecond;
  return std::nullopt;
}

// Settles the edits of the field files that changed since the job file was saved: with
// move_edits, left-out elements found unchanged move to their new lines and the others are
// listed. False, with the reason on standard error, while any file's edits are left to check.
bool MoveChangedEdits(Job& job, const std::string& job_path, bool move_edits) {
  std::optional<std::string> unsettled;
  for (const std::string& changed : ChangedFieldFiles(job, job_path)) {
    if (move_edits) {
      const EditsFound found = MoveEditsOfChangedFile(job, job_path, changed);
      for (const MovedEdit& moved : found.moved) {
        PrintProblem(fmt::format(
            "{}: the element left out on line {} is found unchanged on line {}; the edit moves "
            "there",
            changed, moved.from, moved.to));
      }
      for (const size_t i : found.unfound) {
        const JobLeaveOut& left = job.leave_out[i];
        PrintProblem(fmt::format(
            "{} line {}: {}; check this edit", changed, left.line,
            !found.unreadable.empty() ? "the file cannot be read (" + found.unreadable + ")"
            : left.element.empty()
                ? std::string("the job file does not say what the left-out element held")
                : std::string("the left-out element is not found unchanged, or is "
                              "found more than once")));
      }
      if (found.unfound.empty()) continue;
    }
    if (!unsettled) unsettled = changed;
  }
  if (!unsettled) return true;
  PrintProblem(fmt::format(
      "{}{}", FormatMessage(MSG_FIELD_FILE_CHANGED, *unsettled),
      move_edits ? "" : " (--move-edits moves the edits whose element is found unchanged)"));
  return false;
}

// A whole number of steps, 0 or more, written in full.
// The adjustment test's memory budget on the command line: up to a terabyte.
constexpr int32_t MAX_ADJUSTMENT_MB = 1048576;

bool ReadStepBudget(std::string_view text, int32_t& steps) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return false;
  steps = value;
  return true;
}

// The configuration file first, so that every other option overrides it.
Step ReadSettingsOption(CommandLine& c) {
  const auto& args = c.args;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--settings") continue;
    if (i + 1 >= args.size()) return UsageError("--settings needs a file name");
    const std::string name(args[i + 1]);
    if (const Step end = RefusedPath("--settings", name)) return end;
    if (const Status read = LoadSettingsFile(c.request, name); read.failed()) {
      PrintProblem(read.text());
      return EXIT_USAGE;
    }
  }
  return std::nullopt;
}

// Then the job file's options, which the options beside it override in turn.
Step ReadProjectOption(CommandLine& c) {
  const auto& args = c.args;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--project") continue;
    if (i + 1 >= args.size()) return UsageError("--project needs a job file name");
    if (c.job) return UsageError("--project may be given once");
    c.job_path = std::string(args[i + 1]);
    if (const Step end = RefusedPath("--project", c.job_path)) return end;
    Result<Job> read = ReadJobFile(c.job_path);
    // A job file that cannot be read or used is a usage error, whatever the reason.
    if (!read.ok()) {
      PrintProblem(read.status().text());
      return EXIT_USAGE;
    }
    if (const Status refused = ApplyJobOptions(read.value(), c.request); refused.failed()) {
      return JobRefused(c.job_path, refused.text());
    }
    c.job = std::move(read).value();
  }
  if (c.job && c.job->options.merge) {
    c.policy = ParseMergePolicy(*c.job->options.merge);
    if (c.policy != MergePolicy::Ask) c.unasked_reason = "the job's \"merge\" answers it";
  }
  return std::nullopt;
}

// One option that takes a value, with its value.
Step TakeValueOption(CommandLine& c, std::string_view arg, const std::string& text) {
  ConversionRequest& request = c.request;
  if (arg == "--seed") {
    if (Status refused = CheckSeedName(text); refused.failed()) {
      return FieldRefused(arg, refused);
    }
    request.seed_name = text;
  } else if (arg == "--max-steps") {
    if (!ReadStepBudget(text, request.max_steps)) {
      return UsageError("--max-steps takes a whole number from 0 to 2147483647");
    }
  } else if (arg == "--adjustment-memory") {
    int32_t megabytes = 0;
    if (!ReadStepBudget(text, megabytes) || megabytes < 1 || megabytes > MAX_ADJUSTMENT_MB) {
      return UsageError(fmt::format("--adjustment-memory takes a whole number of MB from 1 to {}",
                                    MAX_ADJUSTMENT_MB));
    }
    request.adjustment_memory_budget = megabytes * 1048576.0;
  } else if (arg == "--refraction") {
    double k = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), k);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !(k >= -1.0 && k <= 1.0)) {
      return UsageError("--refraction takes a coefficient from -1 to 1 (0.13 is the ordinary one)");
    }
    request.refraction = k;
  } else if (arg == "--seed-tolerance") {
    double meters = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), meters);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !(meters >= 0.0 && meters <= 1.0e7)) {
      return UsageError("--seed-tolerance takes meters from 0 to 10000000");
    }
    request.seed_tolerance = meters;
  } else if (arg == "--precision-datum") {
    if (text.empty()) return UsageError("--precision-datum needs a station name");
    request.precision_datum = text;
  } else if (arg == "--confidence") {
    if (const Status refused = ReadConfidenceText(text, request.precision_confidence);
        refused.failed()) {
      return UsageError(fmt::format("--confidence {}", refused.text()));
    }
  } else if (arg == "--relative-precision") {
    if (const Status refused =
            ReadRelativeStandardText(text, request.relative_mm, request.relative_ppm);
        refused.failed()) {
      return UsageError(fmt::format("--relative-precision {}", refused.text()));
    }
  } else if (arg == "--angle-unit") {
    const std::optional<AngleUnit> unit = UnitOfWord(ANGLE_UNIT_WORDS, text);
    if (!unit) return UsageError("--angle-unit takes dms or gon");
    request.job_angle_unit = *unit;
  } else if (arg == "--distance-unit") {
    const std::optional<LinearUnit> unit = UnitOfWord(LINEAR_UNIT_WORDS, text);
    if (!unit) return UsageError("--distance-unit takes m, usft or ft");
    request.job_linear_unit = *unit;
  } else if (arg == "--merge") {
    c.policy = ParseMergePolicy(text);
    if (!c.policy) return UsageError("--merge takes ask, different, first or second");
    c.merge_given = text;
    c.unasked_reason.clear();
  } else if (arg == "--datum") {
    if (const Status refused = ReadDatumText(text, request.approx_datum_name,
                                             request.approx_datum_a, request.approx_datum_inv_f);
        refused.failed()) {
      return UsageError(fmt::format("--datum: {}", refused.text()));
    }
  } else {
    double* target = &request.seed_latitude;
    std::optional<NumberRange> range = LATITUDE_RANGE;
    if (arg == "--north") target = &request.seed_north, range = GRID_RANGE;
    if (arg == "--east") target = &request.seed_east, range = GRID_RANGE;
    if (arg == "--elev") target = &request.seed_elevation, range = ELEVATION_RANGE;
    if (arg == "--lon") target = &request.seed_longitude, range = LONGITUDE_RANGE;
    if (arg == "--height") target = &request.seed_height, range = HEIGHT_RANGE;
    if (arg == "--tolerance") target = &request.merge_tolerance, range = TOLERANCE_RANGE;
    if (Status refused = ReadNumberField(text, *target, range); refused.failed()) {
      return FieldRefused(arg, refused);
    }
    if (arg == "--lat" || arg == "--lon") {
      if (Status refused = CheckPackedAngle(*target); refused.failed()) {
        return FieldRefused(arg, refused);
      }
    }
  }
  return std::nullopt;
}

bool IsValueOption(std::string_view arg) {
  for (const std::string_view option :
       {"--seed", "--lat", "--lon", "--height", "--tolerance", "--merge", "--datum", "--north",
        "--east", "--elev", "--max-steps", "--adjustment-memory", "--refraction",
        "--seed-tolerance", "--angle-unit", "--distance-unit", "--precision-datum", "--confidence",
        "--relative-precision"}) {
    if (arg == option) return true;
  }
  return false;
}

// Every option in order, the names that are not options kept as files.
Step ReadOptions(CommandLine& c) {
  const auto& args = c.args;
  ConversionRequest& request = c.request;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return std::string(args[++i]);
    };
    if (arg == "--help" || arg == "-h") {
      PrintText(stdout, "{}", USAGE);
      return EXIT_SUCCESS_CODE;
    }
    if (arg == "--version") {
      PrintText(stdout, "Fenwix Version {}\nBuilt with the {} ordering for the adjustment test\n",
                FENWIX_VERSION, BuildOrderingName());
      return EXIT_SUCCESS_CODE;
    }
    if (arg == "--geodetic") {
      request.compute_geodetic = true;
      c.compute_asked = true;
    } else if (arg == "--local") {
      request.compute_local = true;
      c.compute_asked = true;
    } else if (arg == "--move-edits") {
      c.move_edits = true;
    } else if (arg == "--use-estimated-precision") {
      c.use_estimated_precision = true;
    } else if (arg == "--no-adjustment-test") {
      request.adjustment_test = false;
    } else if (arg == "--2d") {
      request.tolerance_mode = TOLERANCE_MODE_2D;
    } else if (arg == "--3d") {
      request.tolerance_mode = TOLERANCE_MODE_3D;
    } else if (arg == "--settings" || arg == "--project") {
      ++i;
    } else if (arg == "-o" || arg == "--output") {
      if (c.output) return UsageError(fmt::format("{} is given twice", arg));
      c.output = value();
      if (!c.output) return UsageError(fmt::format("{} needs a file name", arg));
      if (const Step end = RefusedPath(arg, *c.output)) return end;
    } else if (arg == "--sketch") {
      c.sketch_path = value();
      if (!c.sketch_path) return UsageError("--sketch needs a file name");
      if (const Step end = RefusedPath(arg, *c.sketch_path)) return end;
    } else if (arg == "--save-project") {
      c.save_project = value();
      if (!c.save_project) return UsageError("--save-project needs a file name");
      if (const Step end = RefusedPath(arg, *c.save_project)) return end;
      // A job file is a file of its own: "-" would make one by that name, not standard output.
      if (*c.save_project == STANDARD_OUTPUT_NAME) {
        return UsageError("--save-project writes a job file, not standard output: name the file");
      }
    } else if (IsValueOption(arg)) {
      const std::optional<std::string> text = value();
      if (!text) return UsageError(fmt::format("{} needs a value", arg));
      if (const Step end = TakeValueOption(c, arg, *text)) return end;
    } else if (IsWeightOption(arg)) {
      const std::optional<std::string> text = value();
      if (!text) return UsageError(fmt::format("{} needs a value", arg));
      if (auto refused = TakeWeightOption(arg, *text, request.weight_profile.profile)) {
        PrintProblem(*refused);
        return EXIT_USAGE;
      }
      request.weight_profile.name = "command line";
      // Precision given on the command line weights every field file.
      request.file_instruments.clear();
    } else if (IsReportOption(arg)) {
      const std::optional<std::string> text = value();
      if (!text) return UsageError(fmt::format("{} needs a file name", arg));
      if (const Step end = RefusedPath(arg, *text)) return end;
      if (auto error = c.report.Take(arg, *text, request)) return UsageError(*error);
    } else if (arg.size() > 1 && arg.front() == '-' && arg != "-") {
      return UsageError(fmt::format("unknown option {}", arg));
    } else {
      if (const Step end = RefusedPath("file name", std::string(arg))) return end;
      c.files.emplace_back(arg);
    }
  }
  return std::nullopt;
}

// The field files and the output: the job file's, or the names given (without -o, the last
// name is the output).
Step SettleFiles(CommandLine& c) {
  ConversionRequest& request = c.request;
  if (c.job) {
    if (c.files.size() + (c.output ? 1 : 0) > 1) {
      return UsageError(
          "with --project, the field files come from the job file: expected at most an output "
          "file");
    }
    if (!c.files.empty()) c.output = c.files[0];
    if (c.output) request.output_path = *c.output;
    if (const Status refused = ApplyJobFiles(*c.job, c.job_path, c.output.has_value(), request);
        refused.failed()) {
      return JobRefused(c.job_path, refused.text());
    }
    if (!MoveChangedEdits(*c.job, c.job_path, c.move_edits)) return EXIT_USAGE;
    // The edits as moved; the files were checked just now.
    (void)ApplyJobFiles(*c.job, c.job_path, c.output.has_value(), request);
    c.files = request.xml_paths;
    c.output = request.output_path;
  }
  c.output_named = c.output.has_value();
  if (!c.output) {
    if (c.files.size() < 2) {
      return UsageError("expected one or more input files and an output file");
    }
    c.output = c.files.back();
    c.files.pop_back();
  }
  if (c.files.empty()) return UsageError("expected one or more input files");
  request.xml_paths = c.files;
  // As the dialog names them for a job it has not saved.
  if (!c.job) request.field_file_names = NoteFileNames("", request.xml_paths);
  request.output_path = *c.output;
  return std::nullopt;
}

// Values from a settings file are checked as the dialog checks them at its next command.
Step CheckSettingsValues(CommandLine& c) {
  const ConversionRequest& request = c.request;
  for (const auto& [option, value] :
       {std::pair{"--lat", request.seed_latitude}, std::pair{"--lon", request.seed_longitude}}) {
    if (Status refused = CheckPackedAngle(value); refused.failed()) {
      return FieldRefused(option, refused);
    }
  }
  for (const auto& [option, value, range] :
       {std::tuple{"--north", request.seed_north, GRID_RANGE},
        std::tuple{"--east", request.seed_east, GRID_RANGE},
        std::tuple{"--elev", request.seed_elevation, ELEVATION_RANGE}}) {
    double checked = 0.0;
    if (Status refused = ReadNumberField(FormatFieldNumber(value), checked, range);
        refused.failed()) {
      return FieldRefused(option, refused);
    }
  }
  const bool seed_named = !TrimWhiteSpace(request.seed_name).empty();
  if (c.compute_asked && !seed_named) {
    return UsageError(FormatMessage(MSG_NO_SEED_NAME) + " (--seed)");
  }
  // --datum and a job's "datum" are checked as they are read; this is the settings file's.
  if (seed_named && (request.compute_geodetic || request.compute_local)) {
    if (const Status refused = CheckDatum(request.approx_datum_name, request.approx_datum_a,
                                          request.approx_datum_inv_f);
        refused.failed()) {
      return UsageError(
          fmt::format("the datum of --settings: {}; give one with --datum", refused.text()));
    }
  }
  return std::nullopt;
}

// The sketch, the report and the job file of --save-project never replace a field file, the
// job file, the output or one another.
Step RefuseSideFiles(CommandLine& c) {
  // The field files and the job file are never written over, whatever option names them.
  SetProtectedFiles(c.files, c.job_path);
  std::vector<std::string> taken = c.files;
  taken.push_back(*c.output);
  if (c.sketch_path) {
    // The sketch marks what the checks flag, so it needs them even without a report.
    c.request.run_checks = true;
    if (auto refused = RefuseSideFile("--sketch", "sketch", *c.sketch_path, taken)) {
      return FileRefused(*refused);
    }
    taken.push_back(*c.sketch_path);
  }
  const std::string& report_path = c.report.report_path;
  if (!report_path.empty()) {
    if (auto refused = RefuseSideFile("--report", "check report", report_path, taken)) {
      return FileRefused(*refused);
    }
    taken.push_back(report_path);
  }
  if (c.use_estimated_precision) {
    // The estimate goes into a job file: without one it would be computed and lost.
    if (!c.save_project) {
      return UsageError(
          "--use-estimated-precision writes the estimated precision into the job file: give "
          "--save-project JOB.fenwix too");
    }
    if (!c.request.adjustment_test) {
      return UsageError(
          "--use-estimated-precision takes the precision the adjustment test estimates: it "
          "cannot be given with --no-adjustment-test");
    }
    c.request.run_checks = true;
  }
  if (c.save_project) {
    // The job file of --project itself may be written again: that is how a job is updated.
    if (auto refused = RefuseSideFile("--save-project", "job file", *c.save_project, taken, true)) {
      return UsageError(*refused);
    }
    // The job file records the output relative to its own folder; one that lies outside that
    // folder would make a job file this program refuses to run.
    const std::string saved_at = AbsoluteJobPath(*c.save_project);
    Job recorded;
    recorded.output = RelativeJobPath(saved_at, *c.output);
    if (*c.output == STANDARD_OUTPUT_NAME || RefuseJobOutput(recorded, saved_at).failed()) {
      return FileRefused(fmt::format(
          "--save-project {}: the output {} is not inside the job file's folder, and a job "
          "file's output must stay there; save the job file in the output's folder or above it",
          *c.save_project, *c.output));
    }
  }
  return std::nullopt;
}

}  // namespace

Step ReadCommandLine(CommandLine& c, const std::vector<std::string>& arguments) {
  c.args.assign(arguments.begin(), arguments.end());
  c.request.InitializeDefaults();
  // Every name below is checked as it stands (RefusedPath, the job file's reader).
  c.request.names_as_given = true;
  for (Step (*step)(CommandLine&) : {ReadSettingsOption, ReadProjectOption, ReadOptions,
                                     SettleFiles, CheckSettingsValues, RefuseSideFiles}) {
    if (const Step end = step(c)) return end;
  }
  return std::nullopt;
}

}  // namespace fenwix
