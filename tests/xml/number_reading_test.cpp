// Lenient reading of numbers in element text.

#include "xml/number_reading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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

namespace fenwix {
namespace {

// Plain decimal texts, the shape of nearly every field, read as the C library's strtod reads
// them (correctly rounded): short ones, ties of the last bit, negative zero, 15 and 16
// significant digits either side of 2^53, many decimals, leading and trailing zeros, and random
// survey-like values. A text strtod reads differently would show as a wrong number in a record.
TEST(NumberReading, PlainDecimalsReadAsStrtodReadsThem) {
  std::vector<std::string> texts = {"0",
                                    "-0",
                                    "-0.0",
                                    "0.",
                                    ".5",
                                    "-.5",
                                    "5.",
                                    "484.8740",
                                    "-4454.5599",
                                    "0.00834",
                                    "0.1",
                                    "0.3",
                                    "2.675",
                                    "1.0000000000000002",
                                    "0.30000000000000004",
                                    "999999999999999",
                                    "9999999999999999",
                                    "9007199254740992",
                                    "9007199254740993",
                                    "9007199254740995",
                                    "1.8014398509481985",
                                    "123456789012345.6",
                                    "0.000000000000001",
                                    "0.0000000000000000000001",
                                    "0.00000000000000000000001",
                                    "000000000000000000001.5",
                                    "1.500000000000000000000",
                                    "45.453232166",
                                    "-74.094847680",
                                    "1e5",
                                    "1.5e-3"};
  std::mt19937_64 random(44);
  std::uniform_int_distribution<int> whole_digits(0, 9);
  std::uniform_int_distribution<int> decimals(0, 12);
  std::uniform_int_distribution<int> digit(0, 9);
  for (int i = 0; i < 20000; ++i) {
    std::string text = random() % 2 == 0 ? "-" : "";
    const int whole = whole_digits(random);
    for (int d = 0; d < std::max(1, whole); ++d) text += static_cast<char>('0' + digit(random));
    const int places = decimals(random);
    if (places > 0) text += '.';
    for (int d = 0; d < places; ++d) text += static_cast<char>('0' + digit(random));
    texts.push_back(text);
  }
  int wrong = 0;
  for (const std::string& text : texts) {
    const double expected = std::strtod(text.c_str(), nullptr);
    const NumberText read = ReadNumberText(text);
    // Bitwise, so that -0 and 0 differ.
    if ((std::memcmp(&read.value, &expected, sizeof expected) != 0 ||
         read.fault != NumberFault::None) &&
        ++wrong <= 10) {
      ADD_FAILURE() << text << " read as " << read.value << ", strtod " << expected;
    }
  }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace fenwix
