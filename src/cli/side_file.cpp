#include "cli/side_file.h"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

#include "platform/file_access.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"

namespace fenwix {

namespace {

// Whether two names land on one file: the same text, the same place once "." and ".." are
// taken out and every link is followed (also for a file not made yet, or a link to one), or one
// existing file under two names (a hard link).
bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  // Standard output is no file of the folder, whatever the working folder holds.
  if (a == STANDARD_OUTPUT_NAME || b == STANDARD_OUTPUT_NAME) return false;
  const std::string place = ResolvedPath(a);
  if (!place.empty() && place == ResolvedPath(b)) return true;
  std::error_code ec;
  return std::filesystem::equivalent(PathFromUtf8(a), PathFromUtf8(b), ec) && !ec;
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
