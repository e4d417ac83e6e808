#include "app/platform_paths.h"

#include <unistd.h>

#include "app/settings_file.h"

namespace fenwix {

std::string AppFolder() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return {};
  return FolderOfPath(std::string(buffer, static_cast<size_t>(length)));
}

bool FolderIsWritable(const std::string& folder) {
  return access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace fenwix
