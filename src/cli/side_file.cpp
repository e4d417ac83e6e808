#include "cli/side_file.h"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

#include "app/field_validation.h"
#include "platform/file_access.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"

namespace fenwix {

namespace {

bool SameFile(const std::string& a, const std::string& b) {
  if (TrimWhiteSpace(a) == TrimWhiteSpace(b)) return true;
  std::error_code ec;
  return std::filesystem::equivalent(PathFromUtf8(a), PathFromUtf8(TrimWhiteSpace(b)), ec) && !ec;
}

}  // namespace

std::optional<std::string> RefuseSideFile(std::string_view option, std::string_view what,
                                          const std::string& path,
                                          const std::vector<std::string>& taken,
                                          bool own_job_file) {
  if (path.empty()) return fmt::format("{} needs a file name", option);
  for (const std::string& other : taken) {
    if (SameFile(path, other)) {
      return fmt::format("{} {}: the {} must not replace the input or the output file", option,
                         path, what);
    }
  }
  // The guarded write's own refusals (the job file, any XML document, a socket), said before
  // anything is written; other errors (a write-protected file) are met when writing.
  if (const int refused = RefusedTarget(path, own_job_file); refused < 0) {
    return fmt::format("{} {}: the {} is not written: it is {}", option, path, what,
                       SystemErrorText(refused));
  }
  return std::nullopt;
}

}  // namespace fenwix
