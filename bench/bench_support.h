#pragma once
// What the timing programs share: a person who is never asked anything, thread CPU time, the
// median of the rounds, the bare Expat pass every ratio is taken against, and the generated job
// at a multiple of its default size.

#include <expat.h>
#include <sys/time.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/user_interface.h"
#include "job_generator.h"

namespace fenwix::bench {

// Shows nothing and answers every question "different"; keeps the last message so that a
// failed conversion can be seen.
class SilentUi : public UserInterface {
 public:
  void ShowMessage(MessageId id, const std::string& text) override {
    last_id = id;
    last_text = text;
  }
  void BeginWait() override {}
  void EndWait() override {}
  MergeAnswer AskSimilarStations(const StationRecord&, const StationRecord&) override {
    ++questions;
    return MergeAnswer::Different;
  }
  MessageId last_id{};
  std::string last_text;
  int questions = 0;
};

inline double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A time from getrusage or wait4, in seconds.
inline double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// The median of the timings of the rounds.
inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Expat over the file with no handler, read in the same 64 KiB chunks as the reader.
inline void BareExpatPass(const std::filesystem::path& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) std::exit(1);
  XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
  constexpr int CHUNK = 1 << 16;
  for (;;) {
    void* buffer = XML_GetBuffer(parser, CHUNK);
    const size_t n = std::fread(buffer, 1, CHUNK, file);
    const bool done = n < static_cast<size_t>(CHUNK);
    if (XML_ParseBuffer(parser, static_cast<int>(n), done) != XML_STATUS_OK) {
      std::fprintf(stderr, "the generated job is not well-formed\n");
      std::exit(1);
    }
    if (done) break;
  }
  XML_ParserFree(parser);
  std::fclose(file);
}

// The default job with every count multiplied by scale.
inline JobSize ScaledJobSize(int scale) {
  JobSize size;
  size.stations *= scale;
  size.vectors *= scale;
  size.setups *= scale;
  return size;
}

}  // namespace fenwix::bench
