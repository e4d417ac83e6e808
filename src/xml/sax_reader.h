#pragma once
// Streams a Topcon XML file through Expat and hands the element events to an
// XmlContentHandler. One reader is created per conversion.
//
// The file is read in chunks, so memory does not grow with its size. Namespace processing is
// on and the handler sees local names only ("t:Station" is "Station"). Nothing outside the file
// is ever loaded: no external DTD, no external entity, no URL; entity expansion is bounded by
// Expat's amplification limit, and a document that exceeds it is refused as broken.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "model/status.h"

namespace fenwix {

class XmlContentHandler;

// How a parse ends, as a Status: ok when the whole document was read; Unreadable when the file
// could not be opened or read (text: the system's reason); Refused when Expat rejected the
// document part-way (text: Expat's message, or the fault Expat cannot see; at: the line and
// column of the fault, counted from 1; the records gathered before it stay in the tables);
// Cancelled when the progress callback stopped it; OutOfMemory when Expat or the handler ran
// short, after the parser has been freed. The texts are the fault's own words, which the caller
// places in its sentence.

class SaxReader {
 public:
  // Bytes handed to Expat at a time when reading a file.
  static constexpr size_t DEFAULT_CHUNK_SIZE = 65536;

  SaxReader();
  ~SaxReader();
  SaxReader(const SaxReader&) = delete;
  SaxReader& operator=(const SaxReader&) = delete;

  // The handler receives every event of the next parse; it must outlive the parse. Without a
  // handler the document is only checked.
  void Attach(XmlContentHandler* handler);
  // Size of the pieces the input is handed to Expat in (at least 1 byte). The events the handler
  // sees do not depend on it.
  void set_chunk_size(size_t bytes) { chunk_size_ = bytes == 0 ? 1 : bytes; }
  // Called after every chunk with the bytes read so far; false stops the parse, which then ends
  // as Cancelled.
  using Progress = std::function<bool(int64_t bytes_read)>;
  void set_progress(Progress progress) { progress_ = std::move(progress); }

  // Parses the file named by path from start to end.
  Status ParseFile(const std::string& path);
  // Parses a document held in memory, in pieces of the chunk size, exactly as ParseFile would.
  Status ParseText(std::string_view document);

 private:
  XmlContentHandler* handler_ = nullptr;
  size_t chunk_size_ = DEFAULT_CHUNK_SIZE;
  Progress progress_;
};

}  // namespace fenwix
