#pragma once
// The check-report options of fenwix-convert: --report FILE and --check-limits FILE.

#include <optional>
#include <string>
#include <string_view>

#include "app/conversion_request.h"
#include "app/conversion_run.h"

namespace fenwix {

inline bool IsReportOption(std::string_view option) {
  return option == "--report" || option == "--check-limits";
}

struct ReportOptions {
  std::string report_path;

  // Takes one of the two options with its value; the refusal's text when the value is unusable
  // (a report name without a known extension, a limits file that cannot be read or has a fault).
  std::optional<std::string> Take(std::string_view option, const std::string& value,
                                  ConversionRequest& request);
  // After a conversion that wrote its output file, writes the report; the refusal's text when it
  // could not be written.
  std::optional<std::string> Write(const ConversionRun& run) const;
};

}  // namespace fenwix
