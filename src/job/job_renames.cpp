#include "job/job_renames.h"

#include <map>
#include <tuple>
#include <utility>

#include "job/job_paths.h"
#include "model/station_names.h"

namespace fenwix {

namespace {

std::string Entry(size_t index) {
  return "\"renames\"[" + std::to_string(index + 1) + "]";
}

std::string Quoted(const std::string& name) {
  return "\"" + VisibleName(name) + "\"";
}

}  // namespace

Status RefuseRenames(const Job& job) {
  // Renames by the input they apply to (-1 for every file), the element's line (0 for every
  // element) and the name they rename.
  std::map<std::tuple<int64_t, int64_t, std::string>, size_t> first_rename;
  for (size_t i = 0; i < job.renames.size(); ++i) {
    const JobRename& rename = job.renames[i];
    if (const NameFault fault = StationNameFault(rename.to); fault != NameFault::None) {
      return Status::Refused(Entry(i) + ".\"to\" " + Quoted(rename.to) + " " +
                             std::string(NameFaultText(fault)) +
                             ", which no record of the adjustment file can carry");
    }
    int64_t input = -1;
    for (size_t k = 0; k < job.inputs.size() && !rename.file.empty(); ++k) {
      if (SameJobPath(job.inputs[k].path, rename.file)) input = static_cast<int64_t>(k);
    }
    const auto [at, added] =
        first_rename.emplace(std::make_tuple(input, rename.line, rename.from), i);
    if (added) continue;
    const JobRename& first = job.renames[at->second];
    if (first.to == rename.to) {
      return Status::Refused(Entry(i) + " repeats " + Entry(at->second) + " (" +
                             Quoted(rename.from) + " read as " + Quoted(rename.to) +
                             "); drop one of them");
    }
    return Status::Refused(Entry(i) + " reads " + Quoted(rename.from) + " as " + Quoted(rename.to) +
                           ", but " + Entry(at->second) + " reads it as " + Quoted(first.to) +
                           "; keep the one you mean");
  }
  return Status();
}

}  // namespace fenwix
