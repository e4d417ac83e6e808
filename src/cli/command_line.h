#pragma once
// fenwix-convert's command line read into a conversion request and what is done around it: the
// configuration file, the job file, the options and the names, each checked as the dialog
// checks its fields, and the side files refused where they would replace another.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/conversion_request.h"
#include "cli/report_options.h"
#include "cli/terminal_ui.h"
#include "job/job_file.h"

namespace fenwix {

inline constexpr int EXIT_SUCCESS_CODE = 0;
inline constexpr int EXIT_FAILED = 1;
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_CANCELLED = 3;
// The file was written, but without the approximate coordinates asked for: no such seed.
inline constexpr int EXIT_SEED_NOT_FOUND = 4;
// The file was written, but not the check report asked for.
inline constexpr int EXIT_REPORT_FAILED = 5;
// The file was written, and holds a value that a warning calls possibly misread.
inline constexpr int EXIT_MISREAD_WRITTEN = 6;

// What the command line asks for: the conversion's request and what is done around it. The
// steps below return an exit status when they end the program, else nothing.
struct CommandLine {
  std::vector<std::string_view> args;
  ConversionRequest request;
  std::optional<Job> job;
  std::string job_path;
  std::optional<MergePolicy> policy;
  std::optional<std::string> merge_given;
  // Why the similar-stations question goes unasked, when --merge does not answer it.
  std::string unasked_reason;
  std::optional<std::string> sketch_path;
  std::optional<std::string> save_project;
  bool move_edits = false;
  // Write the adjustment test's estimate of the job's precision into the saved job's profile.
  bool use_estimated_precision = false;
  ReportOptions report;
  bool compute_asked = false;
  std::vector<std::string> files;
  std::optional<std::string> output;
  // The output was named with -o (or by the job file), not taken as the last name.
  bool output_named = false;
};

// An exit status when a step ends the program, else nothing.
using Step = std::optional<int>;

// Reads the arguments into c: --settings first, then --project, then every option and name; the
// names settled and checked. The exit status when the program ends here (--help, --version, a
// usage error); nothing when the conversion is to run.
Step ReadCommandLine(CommandLine& c, const std::vector<std::string>& arguments);

}  // namespace fenwix
