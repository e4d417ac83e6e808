#include "xml/field_elements.h"

#include <expat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/file_access.h"
#include "platform/utf8_path.h"

namespace fenwix {

namespace {

// Joins a namespace URI and a local name in the names Expat reports; it cannot occur in an XML
// 1.0 document.
constexpr XML_Char NAMESPACE_SEPARATOR = '\x01';
// Longest text of one field kept in an element's content; longer text is cut there (4 KiB, as
// the reader's longest value).
constexpr size_t MAX_FIELD_BYTES = 4096;

std::string_view LocalName(const XML_Char* name) {
  const std::string_view full(name);
  const size_t separator = full.rfind(NAMESPACE_SEPARATOR);
  return separator == std::string_view::npos ? full : full.substr(separator + 1);
}

struct Scan {
  XML_Parser parser = nullptr;
  std::vector<FieldElement> elements;
  // The open elements being described, innermost last: (depth, index in elements).
  std::vector<std::pair<int32_t, size_t>> open;
  int32_t depth = 0;
  std::string field;  // the innermost open element's name inside a described one
  std::string text;
  int32_t last_line = 0;
};

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

void XMLCALL Start(void* data, const XML_Char* name, const XML_Char** /*attributes*/) {
  auto* scan = static_cast<Scan*>(data);
  ++scan->depth;
  const std::string_view local = LocalName(name);
  std::optional<EditedElement> kind;
  if (local == "Vector") kind = EditedElement::Vector;
  if (local == "Observation") kind = EditedElement::Observation;
  if (local == "Station") kind = EditedElement::Station;
  scan->text.clear();
  if (!kind) {
    scan->field = local;
    return;
  }
  scan->field.clear();
  const auto line = static_cast<int32_t>(XML_GetCurrentLineNumber(scan->parser));
  // A second element starting on a line is never left out, so it is not described.
  if (line == scan->last_line) return;
  scan->last_line = line;
  scan->open.emplace_back(scan->depth, scan->elements.size());
  scan->elements.push_back(FieldElement{line, *kind, std::string(ElementName(*kind))});
}

void XMLCALL End(void* data, const XML_Char* /*name*/) {
  auto* scan = static_cast<Scan*>(data);
  if (!scan->open.empty() && scan->open.back().first == scan->depth) {
    scan->open.pop_back();
  } else if (!scan->open.empty() && !scan->field.empty()) {
    // A field ends: its text joins the content of the innermost described element. An element
    // holding others adds nothing itself.
    std::string& content = scan->elements[scan->open.back().second].content;
    content += ' ';
    content += scan->field;
    content += '=';
    content += Trimmed(scan->text);
  }
  scan->field.clear();
  scan->text.clear();
  --scan->depth;
}

void XMLCALL Characters(void* data, const XML_Char* text, int length) {
  auto* scan = static_cast<Scan*>(data);
  if (scan->open.empty() || scan->field.empty()) return;
  const size_t room = MAX_FIELD_BYTES - std::min(MAX_FIELD_BYTES, scan->text.size());
  scan->text.append(text, std::min(room, static_cast<size_t>(length)));
}

struct ParserDeleter {
  void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::optional<std::vector<FieldElement>> ReadFieldElements(const std::string& path,
                                                           std::string* reason) {
  const auto refuse = [reason](std::string text) -> std::optional<std::vector<FieldElement>> {
    if (reason != nullptr) *reason = std::move(text);
    return std::nullopt;
  };
  // A device or a FIFO would never end.
  int error = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(OpenForReading(path, error));
  if (!file)
    return refuse(error == NOT_A_REGULAR_FILE ? "not a regular file" : SystemErrorText(error));
  const std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(
      XML_ParserCreateNS(nullptr, NAMESPACE_SEPARATOR));
  if (!parser) return refuse(SystemErrorText(ENOMEM));
  Scan scan;
  scan.parser = parser.get();
  XML_SetUserData(parser.get(), &scan);
  XML_SetElementHandler(parser.get(), Start, End);
  XML_SetCharacterDataHandler(parser.get(), Characters);
  constexpr int CHUNK = 1 << 16;
  for (;;) {
    void* buffer = XML_GetBuffer(parser.get(), CHUNK);
    if (buffer == nullptr) return refuse(SystemErrorText(ENOMEM));
    const size_t n = std::fread(buffer, 1, CHUNK, file.get());
    if (std::ferror(file.get())) return refuse(SystemErrorText(EIO));
    const bool done = n < static_cast<size_t>(CHUNK);
    if (XML_ParseBuffer(parser.get(), static_cast<int>(n), done) != XML_STATUS_OK) {
      return refuse(std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) + " at line " +
                    std::to_string(XML_GetCurrentLineNumber(parser.get())));
    }
    if (done) break;
  }
  return std::move(scan.elements);
}

}  // namespace fenwix
