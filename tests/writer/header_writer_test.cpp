// The head of the output file, byte for byte.

#include "writer/header_writer.h"

#include <gtest/gtest.h>

#include "capture_file.h"
#include "support/default_head.h"

namespace fenwix {
namespace {

using testing::CaptureFile;
using testing::Crlf;

TEST(HeaderWriter, DefaultHeadIsExactBytesWithCrLf) {
  CaptureFile file;
  WriterState state;
  fenwix::Status error;
  error = WriteHeader(file.out, state);
  EXPECT_TRUE(error.ok());
  error = WriteUnits(file.out, LinearUnit::Meter, AngleUnit::Degrees);
  EXPECT_TRUE(error.ok());
  error = WriteDefaultSds(file.out, state);
  EXPECT_TRUE(error.ok());
  // Compared in stored form, so that the line ends are checked as well as the text.
  EXPECT_EQ(file.Bytes(), testing::DEFAULT_HEAD);
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
    fenwix::Status error;
    error =
        WriteUnits(file.out, static_cast<LinearUnit>(c.linear), static_cast<AngleUnit>(c.angle));
    EXPECT_TRUE(error.ok());
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
