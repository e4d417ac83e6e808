#include "xml/sax_reader.h"

#include <cstdio>

#include "xml/xml_content_handler.h"

namespace fenwix {

SaxReader::SaxReader() = default;
SaxReader::~SaxReader() = default;

void SaxReader::Attach(XmlContentHandler* handler) { handler_ = handler; }

ParseResult SaxReader::ParseFile(const std::string& path) {
  ParseResult result;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    result.status = ParseResult::Status::Unreadable;
    return result;
  }
  std::fclose(file);
  return result;
}

}  // namespace fenwix
