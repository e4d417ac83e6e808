#pragma once
// Runs small XML documents through the real reader: written to a file and parsed with
// SaxReader::ParseFile, once in the default chunk size and again in chunks of 1 to 5 bytes,
// each time into fresh tables. Every split must give the same tables as the whole file, so no
// test here can pass on a handler that depends on where Expat splits text.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/survey_tables.h"
#include "xml/sax_reader.h"
#include "xml/xml_content_handler.h"

namespace fenwix::testing {

// One degree in radians, written out independently of the code under test.
inline constexpr double DEGREE = 3.141592653589793 / 180.0;
// One arc-second in radians.
inline constexpr double ARC_SECOND = DEGREE / 3600.0;
// Agreement expected of angles after packing, averaging and reduction: far below 1e-6".
inline constexpr double ANGLE_TOLERANCE = 1e-12;

// A file in the temporary folder, removed when the object goes.
class TempFile {
 public:
  explicit TempFile(std::string_view contents) {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("fenwix_xml_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".xml");
    std::ofstream out(path_, std::ios::binary);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

struct Conversion {
  SurveyTables tables;
  Status result;
  // Observation rows without the placeholder row 0.
  size_t count() const { return tables.observations().size() - 1; }
  // Observation i with its names, as the reader assembled it.
  ObsRecord obs(size_t i) const {
    if (i + 1 >= tables.observations().size()) throw std::out_of_range("no such observation");
    return tables.Observation(static_cast<int32_t>(i + 1));
  }
};

inline void ParseInto(const std::string& path, size_t chunk_size, Conversion& conversion) {
  SaxReader reader;
  XmlContentHandler handler(conversion.tables);
  reader.Attach(&handler);
  reader.set_chunk_size(chunk_size);
  conversion.result = reader.ParseFile(path);
}

inline void ExpectSameRecord(const ObsRecord& a, const ObsRecord& b) {
  EXPECT_EQ(a.kind, b.kind);
  EXPECT_EQ(a.at_name, b.at_name);
  EXPECT_EQ(a.fore_name, b.fore_name);
  EXPECT_EQ(a.back_name, b.back_name);
  EXPECT_EQ(a.description, b.description);
  EXPECT_EQ(a.linear_unit, b.linear_unit);
  EXPECT_EQ(a.angle_unit, b.angle_unit);
  // Bitwise equal: the same text must give the same number however it arrived.
  EXPECT_EQ(a.horiz_angle, b.horiz_angle);
  EXPECT_EQ(a.zenith, b.zenith);
  EXPECT_EQ(a.slope_dist, b.slope_dist);
  EXPECT_EQ(a.dx, b.dx);
  EXPECT_EQ(a.dy, b.dy);
  EXPECT_EQ(a.dz, b.dz);
  EXPECT_EQ(a.sx, b.sx);
  EXPECT_EQ(a.sy, b.sy);
  EXPECT_EQ(a.sz, b.sz);
  EXPECT_EQ(a.cxy, b.cxy);
  EXPECT_EQ(a.cxz, b.cxz);
  EXPECT_EQ(a.cyz, b.cyz);
  EXPECT_EQ(a.instr_height, b.instr_height);
  EXPECT_EQ(a.target_height, b.target_height);
}

// Converts the document whole and in chunks of 1 to 5 bytes; returns the whole-file result
// after checking that every chunked parse gave the same tables and the same parse result.
inline std::unique_ptr<Conversion> Convert(std::string_view xml) {
  TempFile file(xml);
  auto whole = std::make_unique<Conversion>();
  ParseInto(file.path(), SaxReader::DEFAULT_CHUNK_SIZE, *whole);
  for (size_t chunk = 1; chunk <= 5; ++chunk) {
    SCOPED_TRACE("chunk size " + std::to_string(chunk));
    Conversion split;
    ParseInto(file.path(), chunk, split);
    EXPECT_EQ(split.result.kind(), whole->result.kind());
    EXPECT_EQ(split.result.text(), whole->result.text());
    EXPECT_EQ(split.result.at().value_or(SourceLocation{}).line,
              whole->result.at().value_or(SourceLocation{}).line);
    EXPECT_EQ(split.result.at().value_or(SourceLocation{}).column,
              whole->result.at().value_or(SourceLocation{}).column);
    EXPECT_EQ(split.tables.station_count(), whole->tables.station_count());
    for (int32_t i = 0; i < std::min(split.tables.station_count(), whole->tables.station_count());
         ++i) {
      EXPECT_EQ(split.tables.stations()[i].name, whole->tables.stations()[i].name);
    }
    EXPECT_EQ(split.count(), whole->count());
    for (size_t i = 0; i < std::min(split.count(), whole->count()); ++i) {
      ExpectSameRecord(split.obs(i), whole->obs(i));
    }
  }
  return whole;
}

// The document wrapped in a "data" root element.
inline std::string Job(std::string_view body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<data>\n" + std::string(body) + "\n</data>\n";
}

// One total-station observation in the usual order of its fields; empty arguments are left out.
inline std::string Observation(std::string_view type, std::string_view point,
                               std::string_view horizontal, std::string_view zenith,
                               std::string_view slope = "", std::string_view prism = "",
                               std::string_view unit = "") {
  std::string xml = "<Observation>\n  <ObsType>" + std::string(type) + "</ObsType>\n";
  if (!unit.empty()) {
    xml += "  <DistanceUnitIndicator>" + std::string(unit) + "</DistanceUnitIndicator>\n";
  }
  xml += "  <PointNumber>" + std::string(point) + "</PointNumber>\n  <Code>TOPO</Code>\n";
  if (!prism.empty()) xml += "  <PrismHeight>" + std::string(prism) + "</PrismHeight>\n";
  if (!horizontal.empty()) {
    xml += "  <HorizontalAngle>" + std::string(horizontal) + "</HorizontalAngle>\n";
  }
  if (!zenith.empty()) xml += "  <ZenithAngle>" + std::string(zenith) + "</ZenithAngle>\n";
  if (!slope.empty()) xml += "  <SlopeDistance>" + std::string(slope) + "</SlopeDistance>\n";
  xml += "  <AngleUnitIndicator>DMS</AngleUnitIndicator>\n</Observation>\n";
  return xml;
}

inline std::string Station(std::string_view point, std::string_view height) {
  return "<Station>\n  <StationPoint>" + std::string(point) +
         "</StationPoint>\n  <StationCode>CP</StationCode>\n  <InstrumentHeight>" +
         std::string(height) + "</InstrumentHeight>\n</Station>\n";
}

}  // namespace fenwix::testing
