#pragma once
// The files written beside the adjustment file (the sketch, the check report) must never take the
// place of the input, the output or each other.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fenwix {

// Why `option` may not write `what` to `path` (it names one of the `taken` files, however
// spelled, or a file the guarded write refuses: see platform/guarded_write.h), or nothing.
// With own_job_file, the job file of the run may be named: a job file saving itself.
std::optional<std::string> RefuseSideFile(std::string_view option, std::string_view what,
                                          const std::string& path,
                                          const std::vector<std::string>& taken,
                                          bool own_job_file = false);

}  // namespace fenwix
