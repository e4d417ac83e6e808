// The head of the output file, byte for byte.

#include "writer/header_writer.h"

#include <gtest/gtest.h>

#include "capture_file.h"

namespace fenwix {
namespace {

using testing::CaptureFile;
using testing::Crlf;

TEST(HeaderWriter, DefaultHeadIsExactBytesWithCrLf) {
  CaptureFile file;
  WriterState state;
  int32_t error = -1;
  WriteHeader(file.out, state, error);
  EXPECT_EQ(error, 0);
  error = -1;
  WriteUnits(file.out, 1, 10, error);
  EXPECT_EQ(error, 0);
  error = -1;
  WriteDefaultSds(file.out, state, error);
  EXPECT_EQ(error, 0);
  // Written out in stored form, so that the line ends are checked as well as the text.
  const std::string expected =
      "! The data in this file will be associated with this Datum.\r\n"
      "$DATUM\r\n"
      "  WGS 84\r\n"
      "  6378137.0000\r\n"
      "  298.2572236\r\n"
      "\r\n"
      "$NETTYP\r\n"
      "3\r\n"
      "\r\n"
      "$UNITS\r\n"
      "M\r\n"
      "D\r\n"
      "1\r\n"
      "\r\n"
      "! Default observation SD's. Remove or change these to 0.0 to disable.\r\n"
      "! These values can be redefined or disabled anywhere in the file.\r\n"
      "$G_AZ_SD\r\n"
      "5.000\r\n"
      "\r\n"
      "$G_HOR_SD\r\n"
      "5.000\r\n"
      "\r\n"
      "$G_ZEN_SD\r\n"
      "5.000\r\n"
      "\r\n"
      "$G_CRD_SD\r\n"
      "0.00500\r\n"
      "\r\n";
  EXPECT_EQ(file.Bytes(), expected);
}

TEST(HeaderWriter, UnitsLettersFallBackToMetersAndDegrees) {
  struct Case {
    int32_t linear;
    int32_t angle;
    const char* letters;
  };
  for (const Case c : {Case{0, 10, "I\nD"}, Case{1, 10, "M\nD"}, Case{2, 11, "U\nG"},
                       Case{5, 10, "M\nD"}, Case{-1, 12, "M\nD"}, Case{1, 0, "M\nD"}}) {
    CaptureFile file;
    int32_t error = -1;
    WriteUnits(file.out, c.linear, c.angle, error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(file.Bytes(), Crlf(std::string("$UNITS\n") + c.letters + "\n1\n\n"))
        << c.linear << " " << c.angle;
  }
}

TEST(HeaderWriter, ObsDescriptionLineOrNothing) {
  CaptureFile file;
  WriteObsDescription(file.out, ';', "");
  EXPECT_EQ(file.Bytes(), "");
  WriteObsDescription(file.out, ';', "Fixed; with a semicolon");
  EXPECT_EQ(file.Bytes(), "$OBS_DESC; Fixed; with a semicolon\r\n");
}

}  // namespace
}  // namespace fenwix
