#pragma once
// The station records and the observation records of the output file.

#include <cstdint>

#include "model/records.h"
#include "model/survey_tables.h"
#include "weights/record_weights.h"
#include "writer/output_file.h"
#include "writer/writer_state.h"

namespace fenwix {

// Station records: geodetic and/or local kinds per flag, merged stations left out. Starts with
// an empty line pair. Fails as soon as the file reports a write error.
Status WriteStations(bool geodetic, bool local, const SurveyTables& tables, WriterState& state,
                     OutputFile& out);
// Observation records: GPS vectors, then single sights, then angle sets, each group in table
// order and followed by an empty line pair. A merged station's name is written as the name of
// the station that stands for it (merged_into). A "$UNITS" block precedes every record whose unit
// codes differ from those in force. Each record carries the standard deviations that weights
// give its row (the default profile's unless told otherwise). Fails as soon as the file reports
// a write error.
Status WriteObservations(const SurveyTables& tables, WriterState& state, OutputFile& out,
                         const RecordWeights& weights = RecordWeights());

// The record writers write with the units in force (linear_unit, angle_unit); the caller has
// written the matching "$UNITS" block. They write nothing for an observation without values.
// They write the default profile's standard deviations.

// One "$GPS_COMPACT" record with its description line; nothing when a component is missing.
void WriteGpsRecord(OutputFile& out, LinearUnit linear_unit, const ObsRecord& obs);
// A "$ZENITH_ONLY" and/or a "$CHORD_ONLY" record from at_name to back_name.
void WriteSightRecords(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit,
                       const ObsRecord& obs);
// One "$HOR_COMPACT" or "$HORIZ_ANGLE_ONLY" record (at; fore; back). A set without its
// horizontal angle is written as the sight records of what was observed, from at_name to
// fore_name, so that no angle is invented and no observation lost.
void WriteAngleSetRecord(OutputFile& out, LinearUnit linear_unit, AngleUnit angle_unit,
                         const ObsRecord& obs);

}  // namespace fenwix
