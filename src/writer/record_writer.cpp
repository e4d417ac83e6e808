#include "writer/record_writer.h"

namespace fenwix {

void WriteStations(bool, bool, const SurveyTables&, WriterState&, OutputFile& out,
                   int32_t& error) {
  error = WRITE_OK;
  out.Write("\n\n");
  if (out.error()) error = WRITE_ERROR;
}

void WriteObservations(const SurveyTables&, WriterState&, OutputFile& out, int32_t& error) {
  error = WRITE_OK;
  out.Write("\n\n");
  for (int group = 0; group < 3; ++group) out.Write("\n\n");
  if (out.error()) error = WRITE_ERROR;
}

}  // namespace fenwix
