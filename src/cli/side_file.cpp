#include "cli/side_file.h"

#include <fmt/format.h>

#include <filesystem>
#include <system_error>

#include "app/field_validation.h"
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
                                          const std::vector<std::string>& taken) {
  if (path.empty()) return fmt::format("{} needs a file name", option);
  for (const std::string& other : taken) {
    if (SameFile(path, other)) {
      return fmt::format("{} {}: the {} must not replace the input or the output file", option,
                         path, what);
    }
  }
  return std::nullopt;
}

}  // namespace fenwix
