// libFuzzer target for the whole Topcon XML reader: Expat, the element state stack, the field
// values and the setup sequencing, down to the records in the tables.
//
// The first input byte picks the chunk size the document is fed in; the rest is the document.
// Besides the sanitizers' own checks, every input is parsed a second time in one piece, and the
// run aborts if the two parses disagree (a handler that depends on where the parser splits
// text) or if a record holds an infinity or a NaN.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/survey_tables.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"

namespace {

using fenwix::ObsRecord;
using fenwix::SaxReader;
using fenwix::Status;
using fenwix::SurveyTables;
using fenwix::XmlContentHandler;

Status Parse(std::string_view document, size_t chunk_size, SurveyTables& tables) {
  XmlContentHandler handler(tables);
  SaxReader reader;
  reader.Attach(&handler);
  reader.set_chunk_size(chunk_size);
  return reader.ParseText(document);
}

void Check(bool condition) {
  if (!condition) std::abort();
}

bool SameValue(double a, double b) {
  return a == b;
}

bool SameRecord(const ObsRecord& a, const ObsRecord& b) {
  return a.kind == b.kind && a.at_name == b.at_name && a.fore_name == b.fore_name &&
         a.back_name == b.back_name && a.description == b.description &&
         a.linear_unit == b.linear_unit && a.angle_unit == b.angle_unit &&
         SameValue(a.horiz_angle, b.horiz_angle) && SameValue(a.zenith, b.zenith) &&
         SameValue(a.slope_dist, b.slope_dist) && SameValue(a.dx, b.dx) && SameValue(a.dy, b.dy) &&
         SameValue(a.dz, b.dz) && SameValue(a.sx, b.sx) && SameValue(a.sy, b.sy) &&
         SameValue(a.sz, b.sz) && SameValue(a.cxy, b.cxy) && SameValue(a.cxz, b.cxz) &&
         SameValue(a.cyz, b.cyz) && SameValue(a.instr_height, b.instr_height) &&
         SameValue(a.target_height, b.target_height);
}

bool AllFinite(const ObsRecord& r) {
  for (double v : {r.horiz_angle, r.zenith, r.slope_dist, r.dx, r.dy, r.dz, r.sx, r.sy, r.sz, r.cxy,
                   r.cxz, r.cyz, r.instr_height, r.target_height}) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t chunk_size = (data[0] & 0x80) != 0 ? SaxReader::DEFAULT_CHUNK_SIZE : data[0] % 7 + 1;
  const std::string_view document(reinterpret_cast<const char*>(data + 1), size - 1);

  SurveyTables split;
  const Status split_result = Parse(document, chunk_size, split);
  SurveyTables whole;
  const Status whole_result = Parse(document, document.size() + 1, whole);

  // Expat may name a different fault in a malformed document fed in pieces ("y\0" is an
  // invalid token byte by byte but a syntax error whole), so only the outcome is compared.
  Check(split_result.kind() == whole_result.kind());
  Check(split.observation_count() == whole.observation_count());
  Check(split.station_count() == whole.station_count());
  for (int32_t i = 0; i < whole.observation_count(); ++i) {
    Check(SameRecord(split.Observation(i), whole.Observation(i)));
    Check(AllFinite(whole.Observation(i)));
  }
  for (int32_t i = 0; i < whole.station_count(); ++i) {
    Check(split.stations()[i].name == whole.stations()[i].name);
  }
  return 0;
}
