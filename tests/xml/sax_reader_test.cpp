// The reader on files it cannot read, documents Expat rejects and hostile input.

#include "xml/sax_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "xml/xml_test_support.h"

namespace fenwix::testing {
namespace {

std::string Fixture(const char* name) {
  return std::string(FENWIX_TEST_DATA) + "/xml/" + name;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A fixture converted whole and in small chunks (see Convert).
std::unique_ptr<Conversion> ConvertFixture(const char* name) {
  const std::string text = ReadWhole(Fixture(name));
  EXPECT_FALSE(text.empty()) << name;
  return Convert(text);
}

TEST(SaxReader, MissingFileOrFolderIsUnreadable) {
  SurveyTables tables;
  XmlContentHandler handler(tables);
  SaxReader reader;
  reader.Attach(&handler);
  const Status missing = reader.ParseFile(Fixture("no_such_file.xml"));
  EXPECT_EQ(missing.kind(), StatusKind::Unreadable);
  EXPECT_EQ(missing.text(), "No such file or directory");
  const Status folder = reader.ParseFile(FENWIX_TEST_DATA);
  EXPECT_EQ(folder.kind(), StatusKind::Unreadable);
  EXPECT_EQ(folder.text(), "Is a directory");
  EXPECT_EQ(tables.observation_count(), 1);
}

TEST(SaxReader, ParseTextMatchesParseFile) {
  const std::string xml = Job("<Vector><BasePoint>A&amp;B</BasePoint><DX>1</DX></Vector>");
  for (size_t chunk : {1u, 3u, 65536u}) {
    SurveyTables tables;
    XmlContentHandler handler(tables);
    SaxReader reader;
    reader.Attach(&handler);
    reader.set_chunk_size(chunk);
    EXPECT_EQ(reader.ParseText(xml).kind(), StatusKind::Ok);
    ASSERT_EQ(tables.observation_count(), 2);
    EXPECT_EQ(tables.Observation(1).at_name, "A&B");
  }
}

TEST(SaxReader, NegativeFixturesEndWithTheirExactError) {
  struct Expected {
    const char* fixture;
    const char* message;
    int64_t line;
    // Records read before the fault, which stay in the tables.
    size_t records;
  };
  const Expected cases[] = {
      {"nul_byte.xml", "not well-formed (invalid token)", 4, 1},
      {"invalid_utf8.xml", "not well-formed (invalid token)", 4, 1},
      {"truncated.xml", "no element found", 4, 1},
      {"unbound_prefix.xml", "unbound prefix", 3, 0},
  };
  for (const Expected& e : cases) {
    SCOPED_TRACE(e.fixture);
    const auto c = ConvertFixture(e.fixture);
    EXPECT_EQ(c->result.kind(), StatusKind::Refused);
    EXPECT_EQ(c->result.text(), e.message);
    EXPECT_EQ(c->result.at().value_or(SourceLocation{}).line, e.line);
    EXPECT_EQ(c->count(), e.records);
    if (c->count() > 0) {
      EXPECT_EQ(c->obs(0).at_name, "B1");
    }
  }
}

TEST(SaxReader, BillionLaughsIsStoppedAsNotWellFormed) {
  const auto c = ConvertFixture("billion_laughs.xml");
  EXPECT_EQ(c->result.kind(), StatusKind::Refused);
  EXPECT_EQ(c->result.text(),
            "limit on input amplification factor (from DTD and entities) breached");
  ASSERT_EQ(c->count(), 1u);
  EXPECT_EQ(c->obs(0).at_name, "FIRST");
}

TEST(SaxReader, ExternalEntitiesAndDtdsAreNeverLoaded) {
  for (const char* fixture : {"external_entity.xml", "external_dtd.xml"}) {
    SCOPED_TRACE(fixture);
    const auto c = ConvertFixture(fixture);
    EXPECT_EQ(c->result.kind(), StatusKind::Ok);
    ASSERT_EQ(c->count(), 1u);
    const ObsRecord& v = c->obs(0);
    for (const std::string* text : {&v.at_name, &v.fore_name, &v.description}) {
      EXPECT_EQ(text->find("root:"), std::string::npos) << *text;
    }
    for (const StationRecord& s : c->tables.stations()) {
      EXPECT_EQ(s.name.find("root:"), std::string::npos);
    }
  }
  // The skipped reference leaves nothing of itself in the value around it.
  EXPECT_EQ(ConvertFixture("external_entity.xml")->obs(0).fore_name, "R1");
}

TEST(SaxReader, DeclaredEncodingIsReadAsUtf8) {
  const auto c = ConvertFixture("latin1.xml");
  ASSERT_EQ(c->count(), 1u);
  EXPECT_EQ(c->obs(0).at_name, "Fl\xc3\xbch");
}

// Huge documents are parsed whole only: Expat rescans an unfinished token on every chunk.
TEST(SaxReader, HugeNamesAndTextsGiveACorrectRecord) {
  const std::string long_name(1 << 20, 'N');
  const std::string longest_value(MAX_VALUE_BYTES, 'x');
  const std::string xml = Job(
      "<" + long_name + ">ignored</" + long_name + ">" + "<Vector><BasePoint>" + longest_value +
      "</BasePoint>" + "<DX>" + std::string(4000, ' ') + "1.5</DX></Vector>" + Station("S1", "1") +
      "<Observation><ObsType>" + std::string(1 << 20, 'B') +
      "</ObsType><SlopeDistance>9</SlopeDistance></Observation>" +
      Observation("Backsight", "B1", "0", "90", "5") + Observation("Foresight", "F1", "1", "90"));
  TempFile file(xml);
  Conversion c;
  ParseInto(file.path(), SaxReader::DEFAULT_CHUNK_SIZE, c);
  ASSERT_EQ(c.result.kind(), StatusKind::Ok);
  ASSERT_EQ(c.count(), 3u);
  EXPECT_EQ(c.obs(0).at_name, longest_value);
  EXPECT_EQ(c.obs(0).dx, 1.5);
  // The over-long type matched nothing, so its distance was skipped.
  EXPECT_EQ(c.obs(1).slope_dist, 5.0);
}

TEST(SaxReader, ValueBeyondTheLimitEndsTheParseAsAFault) {
  // Split by an entity reference, so the limit is crossed by a later piece.
  const std::string too_long = std::string(MAX_VALUE_BYTES - 2, 'x') + "&amp;yz";
  const std::string xml = Job(std::string("<Vector><BasePoint>B1</BasePoint></Vector>\n") +
                              "<Vector><BasePoint>B2</BasePoint>\n<Type>" + too_long +
                              "</Type></Vector>\n<Vector><BasePoint>B3</BasePoint></Vector>");
  TempFile file(xml);
  Conversion c;
  ParseInto(file.path(), SaxReader::DEFAULT_CHUNK_SIZE, c);
  EXPECT_EQ(c.result.kind(), StatusKind::Refused);
  EXPECT_EQ(c.result.text(), "element text longer than 4096 bytes");
  EXPECT_EQ(c.result.at().value_or(SourceLocation{}).line, 5);
  ASSERT_EQ(c.count(), 1u);
  EXPECT_EQ(c.obs(0).at_name, "B1");
}

}  // namespace
}  // namespace fenwix::testing
