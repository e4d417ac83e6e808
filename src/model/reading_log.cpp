#include "model/reading_log.h"

#include <utility>

namespace fenwix {

namespace {

// Latest names searched before a new entry is added: a setup sights a handful of points, and a
// second entry for a name met long before costs only a few bytes (names are compared as text).
constexpr size_t RECENT_NAMES = 16;

}  // namespace

ReadingLog::ReadingLog() {
  Clear();
}

void ReadingLog::Clear() {
  files_.clear();
  names_.assign(1, std::string());
  setups_.clear();
  readings_.clear();
  record_sources_.assign(1, SourceLocation{});
  file_first_setup_ = 0;
}

int32_t ReadingLog::NameIndex(std::string_view name) {
  if (name.empty()) return 0;
  const size_t end = names_.size();
  const size_t begin = end > RECENT_NAMES ? end - RECENT_NAMES : 1;
  for (size_t i = end; i-- > begin;) {
    if (names_[i] == name) return static_cast<int32_t>(i);
  }
  names_.emplace_back(name);
  return static_cast<int32_t>(end);
}

void ReadingLog::BeginFile(std::string name) {
  files_.push_back(std::move(name));
  file_first_setup_ = setup_count();
}

void ReadingLog::BeginSetup(SourceLocation source) {
  setups_.push_back(RawSetup{0, source});
}

void ReadingLog::SetSetupStation(std::string_view station) {
  if (!setups_.empty()) setups_.back().station = NameIndex(station);
}

}  // namespace fenwix
