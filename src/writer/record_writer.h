#pragma once
// The station records and the observation records of the output file.

#include <cstdint>

#include "model/survey_tables.h"
#include "writer/output_file.h"
#include "writer/writer_state.h"

namespace fenwix {

// Station records: geodetic and/or local kinds per flag, merged stations left out.
void WriteStations(bool geodetic, bool local, const SurveyTables& tables, WriterState& state,
                   OutputFile& out, int32_t& error);
// Observation records: GPS vectors, then single sights, then angle sets, each group in table
// order and followed by an empty line pair.
void WriteObservations(const SurveyTables& tables, WriterState& state, OutputFile& out,
                       int32_t& error);

}  // namespace fenwix
