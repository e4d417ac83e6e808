// The one-pass name matcher the reader tells element starts apart with, against the two
// length-switched lookups it replaces, on every name of a job and on near misses of each; and
// text read in place from the parser's buffer, which must survive the buffer being refilled.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "xml/element_names.h"
#include "xml_test_support.h"

namespace fenwix::testing {
namespace {

// Every name the reader knows.
const std::vector<std::string> KNOWN = {"data",
                                        "Project",
                                        "Vector",
                                        "Point",
                                        "Station",
                                        "Observation",
                                        "BasePoint",
                                        "RoverPoint",
                                        "Type",
                                        "DX",
                                        "DY",
                                        "DZ",
                                        "SX",
                                        "SY",
                                        "SZ",
                                        "CXY",
                                        "CXZ",
                                        "CYZ",
                                        "StationPoint",
                                        "InstrumentHeight",
                                        "ObsType",
                                        "PointNumber",
                                        "PrismHeight",
                                        "HorizontalAngle",
                                        "ZenithAngle",
                                        "SlopeDistance",
                                        "AngleUnitIndicator",
                                        "DistanceUnitIndicator"};

// The name in a heap block of exactly its size, so that a memory checker sees any byte read
// past its end.
KnownName Match(const std::string& name) {
  const auto copy = std::make_unique<char[]>(name.size() + 1);
  std::memcpy(copy.get(), name.c_str(), name.size() + 1);
  return KnownNameOf(copy.get());
}

void ExpectAsLookups(const std::string& name) {
  SCOPED_TRACE("name \"" + name + "\"");
  const KnownName got = Match(name);
  EXPECT_EQ(got.state, StateOf(name));
  EXPECT_EQ(got.child, ChildNameOf(name));
}

TEST(KnownName, EveryNameOfAJobIsToldApart) {
  for (const std::string& name : KNOWN) {
    ExpectAsLookups(name);
    const KnownName got = Match(name);
    // Each known name is exactly one of a state or a field.
    EXPECT_NE(got.state == ElementState::None, got.child == ChildName::None) << name;
  }
}

TEST(KnownName, NearMissesAreUnknown) {
  std::vector<std::string> misses = {"",       "D",        "S",        "C",        "X",
                                     "Dx",     "DXY",      "SXX",      "CX",       "CXYZ",
                                     "Data",   "DATA",     "Stations", "Statio",   "StationP",
                                     "Points", "Poin",     "Observ",   "ObsTypes", "Code",
                                     "Height", "Latitude", "t:DX",     "Distance", "PointNumberX"};
  for (const std::string& name : KNOWN) {
    misses.push_back(name.substr(0, name.size() - 1));  // one byte short
    misses.push_back(name + "s");                       // one byte long
    std::string flipped = name;
    flipped[0] = static_cast<char>(flipped[0] ^ 0x20);  // first letter's case changed
    misses.push_back(flipped);
    std::string last = name;
    last.back() = static_cast<char>(last.back() + 1);  // last byte changed
    misses.push_back(last);
  }
  for (const std::string& name : misses) {
    ExpectAsLookups(name);
    // The control is the lookups above; this is what they say of a near miss.
    const bool known = std::find(KNOWN.begin(), KNOWN.end(), name) != KNOWN.end();
    if (!known) {
      const KnownName got = Match(name);
      EXPECT_EQ(got.state, ElementState::None) << name;
      EXPECT_EQ(got.child, ChildName::None) << name;
    }
  }
}

// Many vectors, each value in one piece, parsed in every chunk size up to past one vector's
// length: a value is read where the parser holds it, and one whose end tag falls into the next
// buffer must be taken along before the buffer is refilled.
TEST(KnownName, ValuesReadInPlaceSurviveEveryBufferBoundary) {
  std::string body;
  constexpr int COUNT = 100;
  for (int i = 0; i < COUNT; ++i) {
    const std::string n = std::to_string(i);
    body += "<Vector><BasePoint>BASE" + n + "</BasePoint><RoverPoint>ROVER" + n +
            "</RoverPoint><DX>" + n + "1.25</DX><DY>-" + n + "2.5</DY><DZ>" + n +
            "3.125</DZ></Vector>\n";
  }
  const TempFile file(Job(body));
  for (size_t chunk = 1; chunk <= 160; ++chunk) {
    SCOPED_TRACE("chunk size " + std::to_string(chunk));
    Conversion c;
    ParseInto(file.path(), chunk, c);
    ASSERT_TRUE(c.result.ok());
    ASSERT_EQ(c.count(), static_cast<size_t>(COUNT));
    for (int i = 0; i < COUNT; ++i) {
      const ObsRecord obs = c.obs(static_cast<size_t>(i));
      const std::string n = std::to_string(i);
      EXPECT_EQ(obs.at_name, "BASE" + n);
      EXPECT_EQ(obs.fore_name, "ROVER" + n);
      // Values written out by hand: i*10 + 1.25, -(i*10 + 2.5), i*10 + 3.125.
      EXPECT_EQ(obs.dx, i * 10 + 1.25);
      EXPECT_EQ(obs.dy, -(i * 10 + 2.5));
      EXPECT_EQ(obs.dz, i * 10 + 3.125);
    }
  }
}

// The handler's side of reading in place: a value begun in bytes the caller then reuses is
// whole only if the caller said so first. Every split of the value is tried; the planted fault
// leaves KeepPendingText out, and the scribbled bytes must then show in the value read.
TEST(KnownName, TextTakenAlongBeforeItsBytesAreReused) {
  const std::string value = "123.5";
  for (size_t split = 1; split < value.size(); ++split) {
    for (const bool kept : {true, false}) {
      SCOPED_TRACE("split at " + std::to_string(split) + (kept ? ", kept" : ", not kept"));
      SurveyTables tables;
      XmlContentHandler handler(tables);
      handler.OnStartElement("data");
      handler.OnStartElement("Vector");
      handler.OnStartElement("DX");
      std::string bytes = value.substr(0, split);
      handler.OnCharacters(bytes, true);
      if (kept) handler.KeepPendingText();
      bytes.assign(split, '9');  // the caller's buffer refilled
      const std::string rest = value.substr(split);
      handler.OnCharacters(rest, true);
      handler.OnEndElement();
      handler.OnEndElement();
      handler.OnEndDocument();
      ASSERT_EQ(tables.observations().size(), 2u);
      const double dx = tables.Observation(1).dx;
      if (kept) {
        EXPECT_EQ(dx, 123.5);
      } else {
        EXPECT_NE(dx, 123.5);
      }
    }
  }
}

}  // namespace
}  // namespace fenwix::testing
