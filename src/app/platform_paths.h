#pragma once
// The few questions about the running system that the settings need answered; the only file
// of the core that calls the operating system directly for them.

#include <string>

namespace fenwix {

// The folder of the running executable, ending with its separator.
std::string AppFolder();
// True when a file may be created in the folder (an existing folder the process may write).
bool FolderIsWritable(const std::string& folder);

}  // namespace fenwix
