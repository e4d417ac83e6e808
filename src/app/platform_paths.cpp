#include "app/platform_paths.h"

#include "app/settings_file.h"

namespace fenwix {

std::string AppFolder() {
  return FolderOfPath(ExecutablePath());
}

}  // namespace fenwix
