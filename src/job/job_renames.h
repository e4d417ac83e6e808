#pragma once
// The renames of a job file checked as a whole: each gives a name a record of the adjustment
// file can carry, and no name is renamed twice for the same files.

#include <optional>
#include <string>

#include "job/job_file.h"
#include "model/status.h"

namespace fenwix {

// Why the job's renames cannot be used, naming the entry: a "to" that holds ";" or a control
// character or is nothing but blanks; a "from" renamed a second time for the same files, to the
// same name (a repeat) or to another (a conflict). A rename for one file beside one for every
// file is neither: the file's own wins. Nothing when they can be used.
Status RefuseRenames(const Job& job);

}  // namespace fenwix
