#pragma once
// Streams a Topcon XML file through Expat and hands the element events to an
// XmlContentHandler. One reader is created per conversion.

#include <cstdint>
#include <string>

namespace fenwix {

class XmlContentHandler;

// How a parse ended. A file that could not be opened or read is Unreadable; a file that Expat
// rejected part-way is NotWellFormed, with Expat's message and the position of the fault (the
// records gathered before it stay in the tables).
struct ParseResult {
  enum class Status { Complete, Unreadable, NotWellFormed };
  Status status = Status::Complete;
  std::string message;
  int64_t line = 0;
  int64_t column = 0;
};

class SaxReader {
 public:
  SaxReader();
  ~SaxReader();
  SaxReader(const SaxReader&) = delete;
  SaxReader& operator=(const SaxReader&) = delete;

  // The handler receives every event of the next parse; it must outlive the parse.
  void Attach(XmlContentHandler* handler);
  // Parses the file named by path from start to end.
  ParseResult ParseFile(const std::string& path);

 private:
  XmlContentHandler* handler_ = nullptr;
};

}  // namespace fenwix
