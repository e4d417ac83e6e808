#include "cli/report_options.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "checks/report_forms.h"
#include "platform/file_access.h"

namespace fenwix {

std::optional<std::string> ReportOptions::Take(std::string_view option, const std::string& value,
                                               ConversionRequest& request) {
  if (option == "--report") {
    ReportForm form = ReportForm::Text;
    if (!ReportFormOf(value, form)) {
      return "--report " + value + ": the name must end in .txt, .html or .json";
    }
    report_path = value;
    request.run_checks = true;
    return std::nullopt;
  }
  // Read once, a regular file only: a FIFO or a device would wait or never end.
  std::string text;
  int error = 0;
  if (!ReadWholeFile(value, text, error)) {
    return "--check-limits " + value + ": " + SystemErrorText(error);
  }
  if (const Status fault = ReadCheckLimits(text, request.check_limits); fault.failed()) {
    return "--check-limits " + value + ": " + fault.text();
  }
  return std::nullopt;
}

std::optional<std::string> ReportOptions::Write(const ConversionRun& run) const {
  if (report_path.empty() || !run.result.written()) return std::nullopt;
  const auto refusal = [&](const std::string& reason) {
    return "cannot write the check report " + report_path + ": " + reason + " (the output file " +
           run.output_path + " is written)";
  };
  // A report without the part that ran short would read as a whole one: the file there, if
  // any, stays as it was.
  const std::string& short_of_memory = run.check_report.short_of_memory;
  if (!short_of_memory.empty()) {
    return refusal("out of memory in " + short_of_memory + "; " + report_path +
                   " is left as it was");
  }
  Status fault;
  try {
    fault = WriteReportFile(run.check_report, report_path);
  } catch (const std::bad_alloc&) {
    return refusal("out of memory while writing it; " + report_path + " is left as it was");
  }
  if (fault.ok()) return std::nullopt;
  return refusal(fault.text());
}

}  // namespace fenwix
