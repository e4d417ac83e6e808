#include "model/source_location.h"

#include <algorithm>
#include <cstddef>

namespace fenwix {

namespace {

// The part after the last folder separator; both separators count, as names may come from
// either system.
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<std::string> FileLabels(const std::vector<std::string>& files) {
  if (files.size() < 2) return files;
  std::vector<std::string> labels;
  labels.reserve(files.size());
  for (const std::string& file : files) labels.push_back(BaseName(file));
  std::vector<std::string> sorted = labels;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < labels.size(); ++i) {
    const auto [first, last] = std::equal_range(sorted.begin(), sorted.end(), labels[i]);
    if (last - first > 1 || labels[i].empty()) labels[i] = files[i];
  }
  return labels;
}

std::string SourceText(const SourceLocation& source, const std::vector<std::string>& labels) {
  if (!source.known()) return std::string();
  const std::string line = std::to_string(source.line);
  if (labels.size() < 2 || source.file < 0 || static_cast<size_t>(source.file) >= labels.size()) {
    return line;
  }
  return labels[static_cast<size_t>(source.file)] + ":" + line;
}

std::string JoinFileNames(const std::vector<std::string>& files) {
  std::string text;
  for (const std::string& file : files) {
    if (!text.empty()) text += ", ";
    text += file;
  }
  return text;
}

}  // namespace fenwix
