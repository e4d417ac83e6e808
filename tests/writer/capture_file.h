#pragma once
// An OutputFile attached to an anonymous temporary file, so that a test can read back exactly
// the bytes the writers produced.

#include <cstdio>
#include <string>

#include "writer/output_file.h"

namespace fenwix::testing {

class CaptureFile {
 public:
  CaptureFile() : stream_(std::tmpfile()) { out.Attach(stream_); }
  ~CaptureFile() {
    out.Discard();
    if (stream_ != nullptr) std::fclose(stream_);
  }
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  // Everything written so far, as stored in the file.
  std::string Bytes() {
    out.Flush();
    std::fflush(stream_);
    std::string bytes;
    std::rewind(stream_);
    char chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, stream_)) > 0) bytes.append(chunk, n);
    std::fseek(stream_, 0, SEEK_END);
    return bytes;
  }

  OutputFile out;

 private:
  std::FILE* stream_;
};

// The expected text of a file whose lines are given with "\n": as stored, with "\r\n".
inline std::string Crlf(const std::string& text) {
  std::string stored;
  for (const char c : text) {
    if (c == '\n') stored += '\r';
    stored += c;
  }
  return stored;
}

}  // namespace fenwix::testing
