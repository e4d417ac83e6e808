// fenwix-convert: the conversion of the dialog, driven by options, for scripts.

#include <fmt/format.h>

#include <cstdio>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/conversion_run.h"
#include "app/estimated_precision.h"
#include "app/job_session.h"
#include "app/messages.h"
#include "cli/command_line.h"
#include "cli/progress_line.h"
#include "cli/sketch_option.h"
#include "cli/terminal_ui.h"
#include "platform/console.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"

namespace {

using fenwix::CommandLine;
using fenwix::EXIT_CANCELLED;
using fenwix::EXIT_FAILED;
using fenwix::EXIT_MISREAD_WRITTEN;
using fenwix::EXIT_REPORT_FAILED;
using fenwix::EXIT_SEED_NOT_FOUND;
using fenwix::EXIT_SUCCESS_CODE;
using fenwix::EXIT_USAGE;
using fenwix::Step;

// Warning lines shown on standard error; the rest are counted.
constexpr int64_t WARNING_LINES_SHOWN = 20;

void PrintWarnings(const fenwix::ReadingWarnings& warnings, const std::vector<std::string>& files,
                   bool report_asked) {
  int64_t shown = 0;
  for (const fenwix::ReadingWarning& warning : warnings.kept()) {
    if (shown == WARNING_LINES_SHOWN) break;
    fenwix::PrintProblem(fmt::format("warning: {}", fenwix::WarningLine(warning, files)));
    ++shown;
  }
  if (warnings.count() > shown) {
    fenwix::PrintProblem(fmt::format(
        "warning: {} more warnings not shown{}", warnings.count() - shown,
        report_asked ? " (the check report lists them)" : " (--report FILE lists them)"));
  }
}

// Converts the request with the terminal as the person.
fenwix::ConversionRun Convert(CommandLine& c) {
  if (!c.policy) {
    c.policy =
        fenwix::IsTerminal(stdin) ? fenwix::MergePolicy::Ask : fenwix::MergePolicy::Different;
    if (*c.policy != fenwix::MergePolicy::Ask) {
      c.unasked_reason = "standard input is not a terminal and no --merge was given";
    }
  }
  uintmax_t input_bytes = 0;
  for (const std::string& input : c.request.xml_paths) {
    std::error_code size_error;
    const uintmax_t size = std::filesystem::file_size(fenwix::PathFromUtf8(input), size_error);
    if (!size_error) input_bytes += size;
  }
  const bool progress_shown =
      fenwix::IsTerminal(stderr) && input_bytes > fenwix::PROGRESS_LINE_MIN_BYTES;
  // A file written to standard output ("-") keeps it to itself: messages go to standard error.
  const bool stdout_taken = *c.output == fenwix::STANDARD_OUTPUT_NAME ||
                            c.sketch_path == fenwix::STANDARD_OUTPUT_NAME ||
                            c.report.report_path == fenwix::STANDARD_OUTPUT_NAME;
  fenwix::ProgressLineUi ui(*c.policy, stdin, stdout_taken ? stderr : stdout, stderr,
                            progress_shown, progress_shown && fenwix::EnableEscapeCodes(stderr));
  ui.set_unasked_reason(c.unasked_reason);
  return fenwix::RunConversion(c.request, ui);
}

// Puts the job's own precision into the profile the job file is saved with, saying on standard
// error what changed and which groups keep the profile's values.
void UseEstimatedPrecision(fenwix::JobSession& session, const fenwix::ConversionRun& run,
                           fenwix::ConversionRequest& request) {
  const fenwix::AdjustmentResult& result = run.adjustment_result;
  if (result.outcome != fenwix::AdjustmentOutcome::Done) {
    fenwix::PrintProblem(
        "the estimated precision is not used: the adjustment test did not finish; the job file "
        "keeps the profile");
    return;
  }
  for (const std::string& kept : fenwix::UnreliableGroups(result)) {
    fenwix::PrintProblem("estimated precision not used for " + kept);
  }
  const std::vector<std::string> changes =
      session.UseEstimatedPrecision(fenwix::ReliableScales(result), request);
  if (changes.empty()) {
    fenwix::PrintProblem("the estimated precision changes nothing: the job file keeps the profile");
  }
  for (const std::string& change : changes) {
    fenwix::PrintProblem("precision of the job: " + change);
  }
}

// Writes the job file of --save-project; false, said on standard error, when it cannot be.
bool SaveProject(const CommandLine& c, const fenwix::ConversionRun& run) {
  fenwix::Job saved = c.job ? *c.job : fenwix::Job{};
  if (c.merge_given) saved.options.merge = *c.merge_given;
  fenwix::JobSession session;
  session.Adopt(std::move(saved), c.job_path);
  // Answers a policy gave are the policy's, which the job keeps as its "merge" option.
  if (*c.policy == fenwix::MergePolicy::Ask) session.KeepAnswers(run);
  // The output of this run keeps the profile's weights; the job weights the next one.
  fenwix::ConversionRequest request = c.request;
  if (c.use_estimated_precision) UseEstimatedPrecision(session, run, request);
  if (const fenwix::Status refused = session.SaveAs(*c.save_project, request, true);
      refused.failed()) {
    fenwix::PrintProblem(
        fenwix::FormatMessage(fenwix::MSG_CANNOT_OPEN, *c.save_project, refused.text()));
    return false;
  }
  return true;
}

// Shows the run: the hint about the output, the warnings, the report, the sketch and the job
// file; returns the exit status.
int ShowRun(const CommandLine& c, const fenwix::ConversionRun& run) {
  const fenwix::ConversionResult& result = run.result;
  if ((result.refusal == fenwix::Refusal::OutputIsXml ||
       result.refusal == fenwix::Refusal::OutputIsFieldFile) &&
      !c.output_named) {
    fenwix::PrintProblem(
        "the last name is the output file; to convert several XML files, name the output with "
        "-o: fenwix-convert -o OUTPUT.txt INPUT.xml...");
  }
  PrintWarnings(run.reading_warnings, run.xml_paths, !c.report.report_path.empty());
  // The file is written with the seed as given; the surveyor hears where the network puts it.
  const fenwix::SeedCheck& seed = run.seed_check;
  if (seed.agrees.has_value() && !*seed.agrees) {
    fenwix::PrintProblem(fmt::format(
        "the seed's position disagrees with the network by {:.0f} m{}; the network puts it at "
        "--lat {} --lon {}",
        seed.offset_m, seed.hint.empty() ? std::string() : ": " + seed.hint,
        fenwix::PackedWords(seed.suggested_latitude),
        fenwix::PackedWords(seed.suggested_longitude)));
  }
  const std::optional<std::string> report_error = c.report.Write(run);
  if (report_error) fenwix::PrintProblem(*report_error);
  // A conversion that wrote the adjustment file is drawn; a sketch that cannot be written
  // fails the run and leaves that file as it is.
  int sketch_status = EXIT_SUCCESS_CODE;
  if (result.written() && c.sketch_path) {
    sketch_status = fenwix::WriteSketchFile(run, *c.sketch_path);
    if (sketch_status == EXIT_FAILED) return EXIT_FAILED;
  }
  const bool job_file_failed = result.written() && c.save_project && !SaveProject(c, run);
  // An input not read completely keeps its own status.
  if ((report_error || job_file_failed || sketch_status == EXIT_REPORT_FAILED) &&
      result.outcome == fenwix::ConversionOutcome::Succeeded) {
    return EXIT_REPORT_FAILED;
  }
  switch (result.outcome) {
    case fenwix::ConversionOutcome::Succeeded:
      if (result.seed_not_found) return EXIT_SEED_NOT_FOUND;
      return run.reading_warnings.misread_recorded() ? EXIT_MISREAD_WRITTEN : EXIT_SUCCESS_CODE;
    case fenwix::ConversionOutcome::Cancelled:
      return EXIT_CANCELLED;
    case fenwix::ConversionOutcome::Incomplete:
      return EXIT_FAILED;
    case fenwix::ConversionOutcome::Failed:
      // Names that cannot be used are a usage error, as refused option values are.
      return result.refused_names() ? EXIT_USAGE : EXIT_FAILED;
  }
  return EXIT_FAILED;
}

int Run(const std::vector<std::string>& arguments) {
  CommandLine c;
  if (const Step end = ReadCommandLine(c, arguments)) return *end;
  return ShowRun(c, Convert(c));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    fenwix::UseUtf8Console();
    return Run(fenwix::Utf8Arguments(argc, argv));
  } catch (const std::bad_alloc&) {
    fenwix::PrintProblem(fenwix::MessageText(fenwix::MSG_NO_MEMORY));
    return EXIT_FAILED;
  }
}
