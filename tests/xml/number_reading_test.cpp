// Lenient reading of numbers in element text.

#include "xml/number_reading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace fenwix {
namespace {

struct Case {
  const char* text;
  double value;
};

TEST(NumberReading, LongestDecimalPrefixAfterWhiteSpace) {
  const Case cases[] = {
      {"12.5", 12.5},
      {" \t\r\n-3e2x", -300.0},
      {"+.5", 0.5},
      {"5.", 5.0},
      {"1e", 1.0},
      {"1e+", 1.0},
      {"2E-3", 0.002},
      {"12.5.3", 12.5},
      {"1,5", 1.5},
      {"1.5e3.2", 1500.0},
      {"-0.0001", -0.0001},
      {"007", 7.0},
      {"1234567.891234", 1234567.891234},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadNumber(c.text), c.value) << '"' << c.text << '"';
}

// One comma between digits and nothing after is a decimal comma; any other comma ends the number.
TEST(NumberReading, OneDecimalCommaIsTheDecimalPoint) {
  const struct {
    const char* text;
    double value;
    NumberFault fault;
  } cases[] = {{"-626,879881 ", -626.879881, NumberFault::DecimalComma},
               {"1,234,567", 1.0, NumberFault::TrailingText}};
  for (const auto& c : cases) {
    const NumberText read = ReadNumberText(c.text);
    EXPECT_EQ(read.value, c.value) << c.text;
    EXPECT_EQ(read.fault, c.fault) << c.text;
  }
}

TEST(NumberReading, TextWithoutADecimalNumberReadsAsZero) {
  for (const char* text : {"", " ", "abc", ".", "-", "+-1", ".e5", "e5", "nan", "NaN", "-nan",
                           "inf", "+Infinity", "-INF", "0x1p3", "0x10",
                           "\xc2\xa0"
                           "5"}) {
    const double value = ReadNumber(text);
    EXPECT_EQ(value, 0.0) << '"' << text << '"';
  }
}

TEST(NumberReading, BeyondTheRangeOfADoubleReadsAsZero) {
  // Written out in full, one digit longer than the largest double.
  const std::string long_digits = "1" + std::string(309, '0') + ".5";
  for (const std::string& text :
       {std::string("1e309"), std::string("-1e309"), std::string("1e999999999999"),
        std::string("1e-400"), long_digits}) {
    EXPECT_EQ(ReadNumber(text), 0.0) << text;
  }
  EXPECT_EQ(ReadNumber("1.7976931348623157e308"), 1.7976931348623157e308);
}

}  // namespace
}  // namespace fenwix
