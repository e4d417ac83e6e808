#include "app/messages.h"

#include <gtest/gtest.h>

#include <string>

#include "app/field_validation.h"

namespace fenwix {
namespace {

TEST(Messages, FormatsPrintfStyle) {
  EXPECT_EQ(FormatMessage(MSG_SEED_NOT_FOUND, std::string("S9"), std::string("/x/job.xml")),
            "Cannot find station 'S9' in file /x/job.xml\n\nOnly observations will be extracted.");
  EXPECT_EQ(FormatMessage(MSG_CANCELLED), "Operation cancelled");
  const std::string text = FormatMessage(MSG_SUCCESS_APPROX, std::string("out.txt"), 7);
  EXPECT_NE(text.find("computed for 7 stations"), std::string::npos);
}

TEST(Messages, LongTextIsCutTo519BytesWithoutSplittingACharacter) {
  const std::string long_path(600, 'a');
  EXPECT_EQ(FormatMessage(MSG_SUCCESS, long_path).size(), MAX_MESSAGE_BYTES);
  // "é" is two bytes; place one across the 519-byte boundary.
  std::string path(501, 'b');
  path += "\xC3\xA9";
  path += std::string(50, 'c');
  const std::string cut =
      FormatMessage(MSG_CANNOT_OPEN, path, "is a folder");  // "Cannot open file " is 17
  EXPECT_EQ(cut.size(), 17u + 501u);
  EXPECT_EQ(CutUtf8("ab\xC3\xA9", 3), "ab");
  EXPECT_EQ(CutUtf8("ab\xC3\xA9", 4), "ab\xC3\xA9");
}

TEST(Messages, FieldMessagesFillTheirPlaceholders) {
  EXPECT_EQ(FormatFieldMessage(MSG_NUMBER_RANGE, "-89", "89"),
            "Please enter a number between -89 and 89.");
  EXPECT_EQ(FormatFieldMessage(MSG_TOO_LONG, "15"), "Please enter no more than 15 characters.");
  EXPECT_EQ(MessageText(STR_XML_FILTER), "Topcon XML File (*.xml)|*.xml|All Files (*.*)| *.*||");
  EXPECT_TRUE(MessageText(MessageId{12345}).empty());
}

TEST(FieldValidation, NumberRule) {
  EXPECT_EQ(ParseNumberField("12.5"), 12.5);
  EXPECT_EQ(ParseNumberField(" \t12.5 \t"), 12.5);
  EXPECT_EQ(ParseNumberField("0"), 0.0);
  EXPECT_EQ(ParseNumberField("0.0"), 0.0);
  EXPECT_EQ(ParseNumberField("-1e3"), -1000.0);
  EXPECT_EQ(ParseNumberField("+2"), 2.0);
  EXPECT_EQ(ParseNumberField(".5"), 0.5);
  EXPECT_EQ(ParseNumberField("5."), 5.0);
  EXPECT_EQ(ParseNumberField("1e"), std::nullopt);  // "1" then a stray "e"
  // A zero must start with the digit 0.
  EXPECT_EQ(ParseNumberField("-0"), std::nullopt);
  EXPECT_EQ(ParseNumberField(".0"), std::nullopt);
  EXPECT_EQ(ParseNumberField(""), std::nullopt);
  EXPECT_EQ(ParseNumberField("   "), std::nullopt);
  EXPECT_EQ(ParseNumberField("12a"), std::nullopt);
  EXPECT_EQ(ParseNumberField("1,5"), std::nullopt);
  EXPECT_EQ(ParseNumberField("nan"), std::nullopt);
  EXPECT_EQ(ParseNumberField("inf"), std::nullopt);
  EXPECT_EQ(ParseNumberField("0x10"), std::nullopt);
  EXPECT_EQ(ParseNumberField("1e999"), std::nullopt);
  // The whole field counts: a long run of blanks never cuts a number short, and nothing
  // stray after the first 31 characters passes unseen.
  EXPECT_EQ(ParseNumberField(std::string(30, ' ') + "45"), 45.0);
  EXPECT_EQ(ParseNumberField("0.0000000000000000000000000001e30"), 100.0);
  EXPECT_EQ(ParseNumberField(std::string(30, ' ') + "7xyz"), std::nullopt);
}

TEST(FieldValidation, RangesAndMessages) {
  double value = 3.0;
  Status error = ReadNumberField("89.5", value, LATITUDE_RANGE);
  EXPECT_EQ(error.kind(), StatusKind::Refused);
  EXPECT_EQ(error.text(), "Please enter a number between -89 and 89.");
  EXPECT_EQ(value, 3.0);
  EXPECT_TRUE(ReadNumberField("-90", value, LATITUDE_RANGE).failed());
  EXPECT_TRUE(ReadNumberField("180", value, LONGITUDE_RANGE).ok());
  EXPECT_EQ(value, 180.0);
  EXPECT_TRUE(ReadNumberField("-0.01", value, TOLERANCE_RANGE).failed());
  EXPECT_TRUE(ReadNumberField("0", value, TOLERANCE_RANGE).ok());
  EXPECT_EQ(value, 0.0);
  error = ReadNumberField("x", value, std::nullopt);
  EXPECT_EQ(error.text(), "Please enter a number.");
  EXPECT_EQ(FormatFieldNumber(-120.0), "-120");
  EXPECT_EQ(FormatFieldNumber(0.05), "0.05");
  EXPECT_EQ(FormatFieldNumber(100000.0), "100000");
}

TEST(FieldValidation, SeedNameCountsCharactersNotBytes) {
  EXPECT_TRUE(CheckSeedName(std::string(15, 'A')).ok());
  EXPECT_TRUE(CheckSeedName(std::string(16, 'A')).failed());
  std::string accented;
  for (int i = 0; i < 15; ++i) accented += "\xC3\xA9";
  EXPECT_TRUE(CheckSeedName(accented).ok());
  EXPECT_EQ(CheckSeedName(accented + "x").text(), "Please enter no more than 15 characters.");
}

TEST(FieldValidation, TrimWhiteSpace) {
  EXPECT_EQ(TrimWhiteSpace("  a b \t\r\n"), "a b");
  EXPECT_EQ(TrimWhiteSpace(" \t "), "");
  EXPECT_EQ(TrimWhiteSpace("\xC3\xA9 "), "\xC3\xA9");
}

}  // namespace
}  // namespace fenwix
