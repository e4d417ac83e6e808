#pragma once
// Paths of a job file: written relative to the job file's folder, so that a job folder can be
// moved or handed on whole, and resolved against it when read. Paths are UTF-8 text.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/job_file.h"
#include "model/status.h"

namespace fenwix {

// Why text cannot be used as a path as it stands, or nothing when it can: an empty text, a
// blank (space, tab, line end) at its start or end, or any control character. A path is used as
// the text it is, never trimmed, so that the place checked is the place written; `name` is the
// job file's key or the command line's option, which the refusal names.
Status RefusePathText(std::string_view name, std::string_view path);

// Whether two paths as written in a job file name the same place, spelling aside ("./a.xml" and
// "a.xml", "d/../a.xml").
bool SameJobPath(const std::string& a, const std::string& b);

// A path as written in a job file with its spelling taken out: SameJobPath holds for two paths
// whose keys are equal, so that paths can be looked up by hash.
std::string JobPathKey(const std::string& path);

// The path a job file's entry names, for a job file at job_path: an absolute path as written,
// a relative one joined to the job file's folder.
std::string ResolveJobPath(const std::string& job_path, const std::string& entry);

// The path made absolute against the working folder and written as job files write paths; as
// given when the system cannot tell the working folder.
std::string AbsoluteJobPath(const std::string& path);

// How a job file at job_path writes the path of a file: relative to its folder when that can
// be done, else as given.
std::string RelativeJobPath(const std::string& job_path, const std::string& file_path);

// How the adjustment file's notes name each of these field files (paths as the conversion
// reads them): relative to the folder of the job file at job_path, or by file name alone for a
// job without a file, so that the dialog and the command line write the same bytes and no
// note tells a reader of the file where its maker keeps their folders.
std::vector<std::string> NoteFileNames(const std::string& job_path,
                                       const std::vector<std::string>& files);

// Why the job's own output path cannot be used, or nothing when it can: a job file may come
// from someone else, so its output must stay inside the job file's folder (not absolute, not
// climbing out with ".."), and it never names one of the field files. Given the job file's
// path, the output must also land inside the job's folder once every symbolic link on the way
// is followed (a link in the folder to the home folder is no way out).
Status RefuseJobOutput(const Job& job, const std::string& job_path = {});

// Why a file a job writes by default (entry, as the job file names it) would land outside the
// folder of the job file at job_path once links are followed; nothing when it stays inside.
Status RefuseOutsideJobFolder(const std::string& job_path, const std::string& entry);

}  // namespace fenwix
