#include "xml/sax_reader.h"

#include <expat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#include "platform/file_access.h"
#include "platform/utf8_path.h"
#include "xml/xml_content_handler.h"

namespace fenwix {

namespace {

// Joins a namespace URI and a local name in the names Expat reports. It cannot occur in an XML
// 1.0 document, not even through a character reference, so it always ends the URI.
constexpr XML_Char NAMESPACE_SEPARATOR = '\x01';

struct ParserDeleter {
  void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};
using ParserPtr = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// What the callbacks share. An exception (memory shortage) must not unwind through Expat's C
// frames: it is kept here, the parser stopped, and it is thrown again once Expat has returned.
struct ParseContext {
  XML_Parser parser = nullptr;
  XmlContentHandler* handler = nullptr;
  std::exception_ptr failure;
  // A fault of the document that Expat does not see (an over-long value).
  std::string fault;
  // Whether Expat currently reports character data.
  bool text_reported = false;
  // Set with failure or fault; one test per event instead of two.
  bool stopped = false;
  // The bytes handed to the parse now running, as addresses. Expat moves or reuses its buffer
  // only between parses, so text it reports from inside them stays put until that parse ends;
  // a piece it reports from elsewhere (the tail of the bytes before, an entity's or character
  // reference's text, a converted encoding) may not.
  uintptr_t fed_begin = 0;
  uintptr_t fed_end = 0;
};

// One pass over the name: element names are short, and two library scans (length, then
// separator) cost more than the bytes themselves.
std::string_view LocalName(const XML_Char* name) {
  static_assert(NAMESPACE_SEPARATOR == '\x01');
  const XML_Char* local = name;
  const XML_Char* p = name;
  for (;;) {
    // One test per byte: only the terminator and the separator are below 2.
    while (static_cast<unsigned char>(*p) > 1) ++p;
    if (*p == '\0') break;
    local = ++p;
  }
  return std::string_view(local, static_cast<size_t>(p - local));
}

template <typename Event>
void Deliver(void* data, Event event) {
  auto* context = static_cast<ParseContext*>(data);
  // Expat may report an event or two after a stop; they are dropped.
  if (context->stopped) return;
  try {
    event(*context->handler);
  } catch (...) {
    context->failure = std::current_exception();
    context->stopped = true;
    XML_StopParser(context->parser, XML_FALSE);
  }
}

void XMLCALL Characters(void* data, const XML_Char* text, int length);

// Most text in a job is the indentation between tags, which matters to no field; Expat is asked
// for character data only while the handler can use it.
void FollowTextInterest(void* data) {
  auto* context = static_cast<ParseContext*>(data);
  const bool wanted = context->handler->TextMatters();
  if (wanted == context->text_reported) return;
  context->text_reported = wanted;
  XML_SetCharacterDataHandler(context->parser, wanted ? Characters : nullptr);
}

// A name of the job is told apart as it stands; only a name it does not know can be a local
// name behind a namespace URI, which is then looked at on its own.
KnownName NameOf(const XML_Char* name) {
  const KnownName known = KnownNameOf(name);
  if (known.state != ElementState::None || known.child != ChildName::None) return known;
  const std::string_view local = LocalName(name);
  return local.data() == name ? known : KnownNameOf(local.data());
}

void XMLCALL StartElement(void* data, const XML_Char* name, const XML_Char** /*attributes*/) {
  Deliver(data, [name](XmlContentHandler& handler) { handler.OnStartElement(NameOf(name)); });
  FollowTextInterest(data);
}

void XMLCALL EndElement(void* data, const XML_Char* /*name*/) {
  Deliver(data, [](XmlContentHandler& handler) { handler.OnEndElement(); });
  FollowTextInterest(data);
}

void XMLCALL Characters(void* data, const XML_Char* text, int length) {
  auto* context = static_cast<ParseContext*>(data);
  Deliver(data, [context, text, length](XmlContentHandler& handler) {
    const auto begin = reinterpret_cast<uintptr_t>(text);
    const bool lasting =
        begin >= context->fed_begin && begin + static_cast<uintptr_t>(length) <= context->fed_end;
    handler.OnCharacters(std::string_view(text, static_cast<size_t>(length)), lasting);
    if (handler.value_too_long()) {
      context->fault = "element text longer than " + std::to_string(MAX_VALUE_BYTES) + " bytes";
      context->stopped = true;
      XML_StopParser(context->parser, XML_FALSE);
    }
  });
}

// Lines of the elements the handler logs. Expat finds a line by scanning every byte since the
// last one asked for, which for a line per element is one more pass over the whole file; here
// the bytes handed to the parser are kept for two chunks and their line ends counted with a
// vectorised count from the last line asked for. An event outside that window (a tag longer than
// a chunk, tiny chunks) asks Expat instead; both count CR, LF and CR LF as one line end.
class LineCounter {
 public:
  explicit LineCounter(XML_Parser parser) : parser_(parser) {}

  // The bytes about to be handed to the parser.
  void Fed(const char* data, size_t size) {
    if (window_.size() > last_size_) {
      const size_t drop = window_.size() - last_size_;
      window_.erase(0, drop);
      window_start_ += static_cast<int64_t>(drop);
    }
    window_.append(data, size);
    last_size_ = size;
  }

  int64_t Line() {
    const int64_t at = static_cast<int64_t>(XML_GetCurrentByteIndex(parser_));
    const int64_t window_end = window_start_ + static_cast<int64_t>(window_.size());
    if (at < cursor_ || cursor_ < window_start_ || at > window_end) {
      cursor_line_ = static_cast<int64_t>(XML_GetCurrentLineNumber(parser_));
      cursor_ = at;
      return cursor_line_;
    }
    const char* begin = window_.data() + (cursor_ - window_start_);
    const char* end = window_.data() + (at - window_start_);
    cursor_line_ += std::count(begin, end, '\n');
    if (std::memchr(begin, '\r', static_cast<size_t>(end - begin)) != nullptr) {
      // A CR ends a line unless an LF follows it (the LF is counted already).
      const char* limit = window_.data() + window_.size();
      for (const char* p = begin; p < end; ++p) {
        if (*p == '\r' && (p + 1 >= limit || p[1] != '\n')) ++cursor_line_;
      }
    }
    cursor_ = at;
    return cursor_line_;
  }

 private:
  XML_Parser parser_;
  std::string window_;
  size_t last_size_ = 0;
  int64_t window_start_ = 0;
  int64_t cursor_ = 0;
  int64_t cursor_line_ = 1;
};

// A line or column as a location holds it; a file of more than two billion lines or a line of
// more than two billion bytes is not met in practice.
int32_t Clamped(XML_Size count) {
  return static_cast<int32_t>(std::min<XML_Size>(count, INT32_MAX));
}

Status NotWellFormed(XML_Parser parser, const std::string& fault) {
  SourceLocation at;
  at.line = Clamped(XML_GetCurrentLineNumber(parser));
  // Expat counts columns from 0.
  at.column = Clamped(XML_GetCurrentColumnNumber(parser) + 1);
  return Status::Refused(fault.empty() ? XML_ErrorString(XML_GetErrorCode(parser)) : fault, at);
}

Status OutOfMemory() {
  return Status(StatusKind::OutOfMemory, "not enough memory");
}

// Feeds the parser from read(buffer, capacity, done) until the input ends or the parse fails.
// read returns the bytes it placed and sets done at the end of the input; a read failure is
// reported by returning -1.
template <typename Read>
Status Run(XmlContentHandler* handler, size_t chunk_size, const SaxReader::Progress& progress,
           Read read) {
  const ParserPtr owner(XML_ParserCreateNS(nullptr, NAMESPACE_SEPARATOR));
  if (!owner) return OutOfMemory();
  XML_Parser parser = owner.get();
  // Expat itself never opens a file or URL; without an external-entity handler and with
  // parameter entities off, neither an external DTD nor an external entity is ever read.
  XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);

  LineCounter lines(parser);
  const bool count_lines = handler != nullptr && handler->wants_lines();
  // The handler asks for lines only while the parser lives.
  struct LineSourceReset {
    XmlContentHandler* handler;
    ~LineSourceReset() {
      if (handler != nullptr) handler->SetLineSource(nullptr, nullptr);
    }
  } line_source_reset{handler};

  ParseContext context;
  context.parser = parser;
  context.handler = handler;
  if (handler != nullptr) {
    XML_SetUserData(parser, &context);
    XML_SetElementHandler(parser, StartElement, EndElement);
    handler->SetLineSource([](void* counter) { return static_cast<LineCounter*>(counter)->Line(); },
                           &lines);
    // Text before the root element is not reported anyway; the element callbacks switch it on.
  }

  const int chunk = static_cast<int>(std::min<size_t>(chunk_size, 1u << 30));
  int64_t bytes_read = 0;
  for (;;) {
    void* buffer = XML_GetBuffer(parser, chunk);
    if (buffer == nullptr) return OutOfMemory();
    bool done = false;
    const long length = read(buffer, static_cast<size_t>(chunk), done);
    if (length < 0) return Status(StatusKind::Unreadable, std::strerror(errno));
    if (count_lines) lines.Fed(static_cast<const char*>(buffer), static_cast<size_t>(length));
    context.fed_begin = reinterpret_cast<uintptr_t>(buffer);
    context.fed_end = context.fed_begin + static_cast<uintptr_t>(length);
    const XML_Status status =
        XML_ParseBuffer(parser, static_cast<int>(length), done ? XML_TRUE : XML_FALSE);
    // The next buffer may take the place of this one.
    if (handler != nullptr) handler->KeepPendingText();
    if (context.failure) std::rethrow_exception(context.failure);
    if (status != XML_STATUS_OK) {
      if (XML_GetErrorCode(parser) == XML_ERROR_NO_MEMORY) return OutOfMemory();
      return NotWellFormed(parser, context.fault);
    }
    if (done) {
      if (handler != nullptr) handler->OnEndDocument();
      if (progress) progress(bytes_read + length);
      return Status();
    }
    bytes_read += length;
    if (progress && !progress(bytes_read)) return Status(StatusKind::Cancelled, std::string());
  }
}

// The memory the handler runs short of comes back from the callbacks as an exception, which
// stops here: the parser has been freed by then.
template <typename Read>
Status RunCatching(XmlContentHandler* handler, size_t chunk_size,
                   const SaxReader::Progress& progress, Read read) {
  try {
    return Run(handler, chunk_size, progress, read);
  } catch (const std::bad_alloc&) {
    return OutOfMemory();
  }
}

}  // namespace

SaxReader::SaxReader() = default;
SaxReader::~SaxReader() = default;

void SaxReader::Attach(XmlContentHandler* handler) {
  handler_ = handler;
}

Status SaxReader::ParseFile(const std::string& path) {
  int error = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(OpenForReading(path, error));
  if (!file) return Status(StatusKind::Unreadable, SystemErrorText(error));
  return RunCatching(handler_, chunk_size_, progress_,
                     [&file](void* buffer, size_t capacity, bool& done) -> long {
                       const size_t length = std::fread(buffer, 1, capacity, file.get());
                       if (std::ferror(file.get())) return -1;
                       done = length < capacity && std::feof(file.get());
                       return static_cast<long>(length);
                     });
}

Status SaxReader::ParseText(std::string_view document) {
  size_t offset = 0;
  return RunCatching(handler_, chunk_size_, progress_,
                     [document, &offset](void* buffer, size_t capacity, bool& done) -> long {
                       const size_t length = std::min(capacity, document.size() - offset);
                       if (length > 0) std::memcpy(buffer, document.data() + offset, length);
                       offset += length;
                       done = offset == document.size();
                       return static_cast<long>(length);
                     });
}

}  // namespace fenwix
