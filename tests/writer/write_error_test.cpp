// A failing output stream stops the record passes with error 1001 at the first record after
// the failure.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "writer/record_writer.h"

namespace fenwix {
namespace {

// A stream that accepts limit bytes and then fails every write.
struct FailingSink {
  size_t limit = 0;
  size_t accepted = 0;
  int failed_writes = 0;
};

ssize_t SinkWrite(void* cookie, const char*, size_t size) {
  auto* sink = static_cast<FailingSink*>(cookie);
  if (sink->accepted + size > sink->limit) {
    ++sink->failed_writes;
    return -1;
  }
  sink->accepted += size;
  return static_cast<ssize_t>(size);
}

std::FILE* OpenFailingStream(FailingSink& sink) {
  cookie_io_functions_t functions{};
  functions.write = SinkWrite;
  return fopencookie(&sink, "w", functions);
}

// Enough records to pass the output buffer several times over, then one record in US feet
// that would change the units if the pass went on after the failure.
SurveyTables ManyObservations() {
  SurveyTables tables;
  for (int i = 0; i < 5000; ++i) {
    ObsRecord& obs = tables.current_observation();
    obs = ObsRecord{};
    obs.kind = ObsKind::Sight;
    obs.at_name = "S" + std::to_string(i);
    obs.back_name = "T" + std::to_string(i);
    obs.zenith = 1.5;
    obs.slope_dist = 100.0;
    tables.RecordObservation();
  }
  ObsRecord& last = tables.current_observation();
  last = ObsRecord{};
  last.kind = ObsKind::AngleSet;
  last.linear_unit = LinearUnit::UsFoot;
  last.horiz_angle = 1.0;
  tables.RecordObservation();
  return tables;
}

TEST(WriteError, ObservationPassStopsWithWriteError) {
  const SurveyTables tables = ManyObservations();
  FailingSink sink{.limit = 1000};
  std::FILE* stream = OpenFailingStream(sink);
  ASSERT_NE(stream, nullptr);
  OutputFile out;
  out.Attach(stream);
  WriterState state;
  state.current_linear_unit = LinearUnit::Meter;
  state.current_angle_unit = AngleUnit::Degrees;
  fenwix::Status error;
  error = WriteObservations(tables, state, out);
  EXPECT_EQ(error.kind(), StatusKind::WriteFailed);
  EXPECT_GT(sink.failed_writes, 0);
  // The feet record at the end was never reached.
  EXPECT_EQ(state.current_linear_unit, LinearUnit::Meter);
  out.Discard();
  std::fclose(stream);
}

TEST(WriteError, StationPassStopsWithWriteError) {
  SurveyTables tables;
  for (int i = 0; i < 5000; ++i) tables.AddStation("Station " + std::to_string(i));
  tables.AddStation("Feet");
  tables.station(tables.station_count() - 1).linear_unit = LinearUnit::UsFoot;
  std::FILE* stream = std::fopen("/dev/full", "w");
  ASSERT_NE(stream, nullptr);
  OutputFile out;
  out.Attach(stream);
  WriterState state;
  state.current_linear_unit = LinearUnit::Meter;
  fenwix::Status error;
  error = WriteStations(true, true, tables, state, out);
  EXPECT_EQ(error.kind(), StatusKind::WriteFailed);
  EXPECT_EQ(state.current_linear_unit, LinearUnit::Meter);
  out.Discard();
  std::fclose(stream);
}

}  // namespace
}  // namespace fenwix
