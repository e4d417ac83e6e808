#include "job/job_paths.h"

#include <filesystem>

#include "model/text_excerpt.h"
#include "platform/guarded_write.h"
#include "platform/utf8_path.h"

namespace fenwix {

namespace {

namespace fs = std::filesystem;

fs::path FromUtf8(const std::string& text) {
  return PathFromUtf8(text);
}

// Job files write '/' on every system, so that one reads the same on Windows and elsewhere.
std::string ToUtf8(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

Status RefusePathText(std::string_view name, std::string_view path) {
  const auto refused = [&](const char* why) {
    return Status::Refused(std::string(name) + ": the path \"" + EscapeControls(path) + "\" " +
                           why + "; a path is used exactly as written");
  };
  if (path.empty()) return refused("is empty");
  const auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  if (is_blank(path.front()) || is_blank(path.back())) {
    return refused("begins or ends with a blank");
  }
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return refused("holds a control character");
  }
  return Status();
}

bool SameJobPath(const std::string& a, const std::string& b) {
  return FromUtf8(a).lexically_normal() == FromUtf8(b).lexically_normal();
}

std::string JobPathKey(const std::string& path) {
  return ToUtf8(FromUtf8(path).lexically_normal());
}

std::string ResolveJobPath(const std::string& job_path, const std::string& entry) {
  const fs::path path = FromUtf8(entry);
  if (path.is_absolute()) return entry;
  const fs::path folder = FromUtf8(job_path).parent_path();
  if (folder.empty()) return ToUtf8(path.lexically_normal());
  return ToUtf8((folder / path).lexically_normal());
}

std::string AbsoluteJobPath(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(FromUtf8(path), error);
  if (error) return path;
  return ToUtf8(absolute.lexically_normal());
}

std::string RelativeJobPath(const std::string& job_path, const std::string& file_path) {
  std::error_code error;
  const fs::path folder = fs::absolute(FromUtf8(job_path), error).parent_path();
  const fs::path file = fs::absolute(FromUtf8(file_path), error);
  if (error) return file_path;
  const fs::path relative = file.lexically_relative(folder);
  // Another drive (Windows) has no relative path.
  if (relative.empty()) return ToUtf8(file);
  return ToUtf8(relative);
}

std::vector<std::string> NoteFileNames(const std::string& job_path,
                                       const std::vector<std::string>& files) {
  std::vector<std::string> names;
  names.reserve(files.size());
  for (const std::string& file : files) {
    names.push_back(job_path.empty() ? ToUtf8(FromUtf8(file).filename())
                                     : RelativeJobPath(job_path, file));
  }
  return names;
}

Status RefuseOutsideJobFolder(const std::string& job_path, const std::string& entry) {
  const std::string folder =
      ResolvedPath(Utf8FromPath(FromUtf8(AbsoluteJobPath(job_path)).parent_path()));
  const std::string place = ResolvedPath(ResolveJobPath(AbsoluteJobPath(job_path), entry));
  const fs::path inside = FromUtf8(place).lexically_relative(FromUtf8(folder));
  if (!folder.empty() && !place.empty() && !inside.empty() && *inside.begin() != ".." &&
      inside != ".") {
    return Status();
  }
  if (folder.empty() || place.empty()) {
    // The system could not tell where the name leads: most often a name longer than it takes.
    return Status::Refused(
        "the job file's \"output\" (" + Excerpt(entry) +
        ") cannot be followed to its place (the name is too long for the system, or a folder on "
        "the way cannot be read); a job file's output must be shown to stay inside its folder");
  }
  return Status::Refused(
      "the job file's \"output\" (" + Excerpt(entry) +
      ") leads out of the job file's folder through a symbolic link; a job file's output "
      "must stay inside its folder (give the output on the command line to write elsewhere)");
}

Status RefuseJobOutput(const Job& job, const std::string& job_path) {
  if (job.output.empty()) return Status();
  const fs::path output = FromUtf8(job.output);
  if (output.is_absolute() || output.has_root_name() || output.has_root_directory()) {
    return Status::Refused(
        "the job file's \"output\" (" + Excerpt(job.output) +
        ") is an absolute path; a job file's output must stay inside its folder (give the "
        "output on the command line to write elsewhere)");
  }
  const fs::path normal = output.lexically_normal();
  if (normal.empty() || normal == "." || *normal.begin() == "..") {
    return Status::Refused(
        "the job file's \"output\" (" + Excerpt(job.output) +
        ") climbs out of the job file's folder; a job file's output must stay inside it "
        "(give the output on the command line to write elsewhere)");
  }
  for (const JobInput& input : job.inputs) {
    if (SameJobPath(input.path, job.output)) {
      return Status::Refused("the job file's \"output\" (" + Excerpt(job.output) +
                             ") is one of its field files, which are never written");
    }
  }
  if (!job_path.empty()) return RefuseOutsideJobFolder(job_path, job.output);
  return Status();
}

}  // namespace fenwix
