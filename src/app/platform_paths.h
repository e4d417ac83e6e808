#pragma once
// The folder of the running program, for the settings kept beside it.

#include <string>

#include "platform/executable_folder.h"

namespace fenwix {

// The folder of the running executable, ending with its separator.
std::string AppFolder();

}  // namespace fenwix
