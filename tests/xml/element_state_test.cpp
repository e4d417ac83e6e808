// The element state stack, the child-name rule and GPS vectors.

#include <gtest/gtest.h>

#include "xml/xml_test_support.h"

namespace fenwix::testing {
namespace {

const char* const VECTOR_A =
    "<Vector>\n"
    "  <BasePoint>BASE</BasePoint>\n  <RoverPoint>R1</RoverPoint>\n  <Type>Static</Type>\n"
    "  <DX>-1234.5678</DX>\n  <DY>2345.25</DY>\n  <DZ>12.5e1</DZ>\n"
    "  <SX>0.003</SX>\n  <SY>0.004</SY>\n  <SZ>0.005</SZ>\n"
    "  <CXY>0.1</CXY>\n  <CXZ>-0.2</CXZ>\n  <CYZ>0.3</CYZ>\n"
    "</Vector>\n";

TEST(ElementState, VectorRecordsEveryFieldAtItsEndTag) {
  const auto c = Convert(Job(VECTOR_A));
  ASSERT_EQ(c->result.kind(), StatusKind::Ok);
  ASSERT_EQ(c->count(), 1u);
  const ObsRecord& v = c->obs(0);
  EXPECT_EQ(v.kind, ObsKind::GpsVector);
  EXPECT_EQ(v.at_name, "BASE");
  EXPECT_EQ(v.fore_name, "R1");
  EXPECT_EQ(v.description, "Static");
  EXPECT_EQ(v.dx, -1234.5678);
  EXPECT_EQ(v.dy, 2345.25);
  EXPECT_EQ(v.dz, 125.0);
  EXPECT_EQ(v.sx, 0.003);
  EXPECT_EQ(v.sy, 0.004);
  EXPECT_EQ(v.sz, 0.005);
  EXPECT_EQ(v.cxy, 0.1);
  EXPECT_EQ(v.cxz, -0.2);
  EXPECT_EQ(v.cyz, 0.3);
  EXPECT_EQ(v.linear_unit, LinearUnit::Meter);
  EXPECT_EQ(v.angle_unit, AngleUnit::Degrees);
}

TEST(ElementState, EachVectorStartsFromAClearedRecord) {
  const auto c = Convert(
      Job(std::string(VECTOR_A) + "<Vector><BasePoint>R1</BasePoint><SX>0.01</SX></Vector>"));
  ASSERT_EQ(c->count(), 2u);
  const ObsRecord& second = c->obs(1);
  EXPECT_EQ(second.at_name, "R1");
  EXPECT_EQ(second.fore_name, "");
  EXPECT_EQ(second.description, "");
  EXPECT_EQ(second.sx, 0.01);
  EXPECT_EQ(second.dx, MISSING_VALUE);
  EXPECT_EQ(second.sy, 0.0);
}

TEST(ElementState, NamesMatchExactlyButNamespacePrefixesAreDropped) {
  const auto c = Convert(
      "<t:data xmlns:t=\"urn:example:job\" xmlns=\"urn:example:default\">\n"
      "<t:Vector><t:BasePoint>P1</t:BasePoint><RoverPoint>P2</RoverPoint></t:Vector>\n"
      "<vector><BasePoint>lower</BasePoint></vector>\n"
      "<VECTOR><BasePoint>upper</BasePoint></VECTOR>\n"
      "</t:data>\n");
  ASSERT_EQ(c->result.kind(), StatusKind::Ok);
  ASSERT_EQ(c->count(), 1u);
  EXPECT_EQ(c->obs(0).at_name, "P1");
  EXPECT_EQ(c->obs(0).fore_name, "P2");
}

TEST(ElementState, InnermostUnknownChildNamesTheField) {
  const auto c =
      Convert(Job(Station("S1", "1.5") +
                  "<Observation><ObsType>Backsight</ObsType><PointNumber>B1</PointNumber>"
                  "<Reading><Angles><ZenithAngle>90.0000</ZenithAngle></Angles>"
                  "</Reading></Observation>" +
                  Observation("Foresight", "F1", "10.0000", "90.0000")));
  // The single sight, then the foresight written at the end of the file.
  ASSERT_EQ(c->count(), 2u);
  EXPECT_NEAR(c->obs(0).zenith, 90 * DEGREE, ANGLE_TOLERANCE);
}

TEST(ElementState, EmptyElementTakesTheWhiteSpaceAfterIt) {
  const auto c = Convert(Job(Station("S1", "1.5") +
                             "<Observation><ObsType>Backsight</ObsType>\n  <PointNumber/>\n  "
                             "<ZenithAngle>90</ZenithAngle><SlopeDistance>5</SlopeDistance>"
                             "</Observation>" +
                             Observation("Foresight", "F1", "10.0000", "90.0000")));
  ASSERT_EQ(c->count(), 2u);
  EXPECT_EQ(c->obs(0).back_name, "\n  ");
}

TEST(ElementState, TextSplitByTheParserIsOneValue) {
  // Entity and character references, CDATA and a comment inside one value; the reader hands
  // each piece separately.
  const auto c = Convert(
      Job("<Station><StationPoint>A&amp;B<!-- occupied twice --><![CDATA[<2>]]></StationPoint>"
          "<InstrumentHeight>1&#46;5</InstrumentHeight></Station>" +
          Observation("Backsight", "&lt;B&gt;1", "0.0000", "90.0000", "1<!-- -->00") +
          Observation("Foresight", "F1", "10.0000", "90.0000") +
          "<Vector><BasePoint>A&amp;B<![CDATA[<2>]]></BasePoint><DX>&#49;2.5</DX></Vector>"));
  // Single sight, vector, and the angle set of the open foresight at the end of the file.
  ASSERT_EQ(c->count(), 3u);
  EXPECT_EQ(c->obs(0).at_name, "A&B<2>");
  EXPECT_EQ(c->obs(0).back_name, "<B>1");
  EXPECT_DOUBLE_EQ(c->obs(0).instr_height, 1.5);
  EXPECT_DOUBLE_EQ(c->obs(0).slope_dist, 100.0);
  EXPECT_EQ(c->obs(1).at_name, "A&B<2>");
  EXPECT_EQ(c->obs(1).dx, 12.5);
  EXPECT_EQ(c->tables.StationIndex("A&B<2>"), 1);
}

TEST(ElementState, OnlyTheFirstTextAfterAChildIsItsValue) {
  // After </Type> the child name is spent: the text before <DX> belongs to nothing.
  const auto c = Convert(Job("<Vector><Type>Static</Type>12.5<DX>1</DX>7</Vector>"));
  ASSERT_EQ(c->count(), 1u);
  EXPECT_EQ(c->obs(0).description, "Static");
  EXPECT_EQ(c->obs(0).dx, 1.0);
}

TEST(ElementState, AnyTextSpendsTheChildNameEvenWhereItIsNotRead) {
  // The line break after </Point> spends "DX" in "data"; otherwise the one after <Vector> would
  // be read as the vector's DX (0 instead of missing).
  const auto c = Convert(Job("<Point><DX/></Point>\n<Vector>\n<BasePoint>B</BasePoint></Vector>"));
  ASSERT_EQ(c->count(), 1u);
  EXPECT_EQ(c->obs(0).dx, MISSING_VALUE);
}

TEST(ElementState, TextOfPointProjectAndDataIsNeverUsed) {
  const auto c = Convert(
      "<data><BasePoint>D</BasePoint>\n"
      "<Project><StationPoint>P</StationPoint><PointNumber>Q</PointNumber></Project>\n"
      "<Point><PointNumber>X1</PointNumber><DX>3</DX></Point>\n"
      "</data>");
  EXPECT_EQ(c->result.kind(), StatusKind::Ok);
  EXPECT_EQ(c->count(), 0u);
  EXPECT_EQ(c->tables.station_count(), 1);
}

TEST(ElementState, StructuralElementsBeyondTheStackAreIgnoredAndBalanced) {
  // 1 data + 149 Points: the stack holds data and 99 Points; the other 50 Points and the Vector
  // inside them are ignored, start and end alike.
  std::string body = "<data>";
  for (int i = 0; i < 149; ++i) body += "<Point>";
  body += "<Vector><BasePoint>DEEP</BasePoint><DX>1</DX></Vector>";
  for (int i = 0; i < 149; ++i) body += "</Point>";
  body += "<Vector><BasePoint>TOP</BasePoint><DX>2</DX></Vector>";
  body += "<Station><StationPoint>S1</StationPoint></Station>";
  body += Observation("Backsight", "B1", "0", "90", "3") + Observation("Foresight", "F", "1", "90");
  body += "</data>";
  const auto c = Convert(body);
  ASSERT_EQ(c->result.kind(), StatusKind::Ok);
  ASSERT_EQ(c->count(), 3u);
  EXPECT_EQ(c->obs(0).at_name, "TOP");
  EXPECT_EQ(c->obs(0).dx, 2.0);
  EXPECT_EQ(c->obs(1).at_name, "S1");
  EXPECT_EQ(c->tables.StationIndex("DEEP"), 0);
}

TEST(ElementState, DocumentRejectedHalfWayKeepsWhatCameBefore) {
  const auto c = Convert("<data>\n" + std::string(VECTOR_A) +
                         "<Vector><BasePoint>R1</BasePoint></Vectr>\n</data>\n");
  EXPECT_EQ(c->result.kind(), StatusKind::Refused);
  EXPECT_EQ(c->result.text(), "mismatched tag");
  EXPECT_EQ(c->result.at().value_or(SourceLocation{}).line, 16);
  // Expat points at the name in the faulty end tag: "</" is at columns 34 and 35.
  EXPECT_EQ(c->result.at().value_or(SourceLocation{}).column, 36);
  ASSERT_EQ(c->count(), 1u);
  EXPECT_EQ(c->obs(0).fore_name, "R1");
}

}  // namespace
}  // namespace fenwix::testing
