#pragma once
// Where the running program lies, and whether a folder takes new files: what the settings need
// to know to keep their file beside the program.

#include <string>

namespace fenwix {

// The full UTF-8 path of the running executable; empty when the system does not say.
std::string ExecutablePath();
// True when a file may be created in the folder (an existing folder the process may write).
bool FolderIsWritable(const std::string& folder);

}  // namespace fenwix
