#include "model/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

namespace kvo::core {
namespace {

TEST(ParseFieldNumber, AcceptsWhatUsersType) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"2000", 2000.0},   {"  12.5 ", 12.5}, {"+7", 7.0},       {"-0.25", -0.25},
      {"1e6", 1e6},       {"1.e6", 1e6},     {"2,5", 2.5},      {".5", 0.5},
      {"5.", 5.0},        {"\t3\n", 3.0},    {"1E-2", 0.01},    {"-360", -360.0},
  };
  for (const auto& c : cases) {
    const auto v = parseFieldNumber(c.text);
    ASSERT_TRUE(v.has_value()) << c.text;
    EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
  }
}

TEST(ParseFieldNumber, RefusesWhatIsNotAFiniteNumber) {
  for (const char* text : {"", " ", "abc", "12abc", "1.2.3", "1,2,3", "1,2.3", "nan", "NaN", "inf",
                           "-inf", "1e999", "0x10", "1e", "--1", "+", ".", "1 2", "e5"}) {
    EXPECT_FALSE(parseFieldNumber(text).has_value()) << '"' << text << '"';
  }
}

TEST(ParseFileNumber, TakesOnlyTheCNotation) {
  EXPECT_EQ(parseFileNumber("-60.00"), -60.0);
  EXPECT_EQ(parseFileNumber("1000000.00"), 1e6);
  EXPECT_FALSE(parseFileNumber("2,5").has_value());
  EXPECT_FALSE(parseFileNumber(" 2").has_value());
  EXPECT_FALSE(parseFileNumber("nan").has_value());
}

TEST(ReadNumberField, NamesTheFieldAndKeepsTheValue) {
  double v = 42.0;
  const auto e = readNumberField(" 12x ", "Pulse duration (ms)", v);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(*e, "Pulse duration (ms): \"12x\" is not a number");
  EXPECT_EQ(v, 42.0);
  EXPECT_FALSE(readNumberField("40", "Pulse duration (ms)", v).has_value());
  EXPECT_EQ(v, 40.0);
}

// Decimal texts that lie on a tie (149.95, 1.45, 0.15) round up as typed,
// although their doubles lie just below the tie.
TEST(FormatOneDecimal, RoundsTypedTiesHalfAwayFromZero) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0.0"},       {0.05, "0.1"},     {0.25, "0.3"},     {8.25, "8.3"},
      {-8.25, "-8.3"},    {0.04, "0.0"},     {-0.04, "0.0"},    {149.95, "150.0"},
      {9.96, "10.0"},     {99.95, "100.0"},  {1e6, "1000000.0"}, {2000.0, "2000.0"},
      {0.149999, "0.1"},  {-60.0, "-60.0"},  {1.45, "1.5"},     {0.15, "0.2"},
      {2.675, "2.7"},     {123456.75, "123456.8"}, {1e-9, "0.0"},  {0.95, "1.0"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatOneDecimal(c.value), c.text) << c.value;
}

// C's printf in the C locale is the reference for the file formats.
TEST(FormatFixed, MatchesCPrintf) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mag(-7.0, 7.0);
  const std::pair<int, int> formats[] = {{8, 2}, {14, 4}, {12, 4}, {8, 4}, {13, 2}, {6, 2}};
  for (int i = 0; i < 20000; ++i) {
    const double v = (i % 2 ? -1.0 : 1.0) * std::pow(10.0, mag(rng));
    const auto [width, precision] = formats[static_cast<std::size_t>(i) % std::size(formats)];
    char ref[64];
    std::snprintf(ref, sizeof ref, "%*.*f", width, precision, v);
    ASSERT_EQ(formatFixed(v, width, precision), ref) << v;
  }
  for (double v : {0.0, -0.0, 0.005, 0.015, 0.125, 2.675, 1e6, 12345678.9}) {
    char ref[64];
    std::snprintf(ref, sizeof ref, "%8.2f", v);
    EXPECT_EQ(formatFixed(v, 8, 2), ref) << v;
  }
}

TEST(FormatInteger, MatchesCPrintf) {
  for (long long v : {0LL, 7LL, -7LL, 123456LL, -123456LL, 1234567LL, -99999LL}) {
    for (int width : {4, 5, 6, 8}) {
      char ref[64];
      std::snprintf(ref, sizeof ref, "%*lld", width, v);
      EXPECT_EQ(formatInteger(v, width), ref) << v << " " << width;
    }
  }
}

}  // namespace
}  // namespace kvo::core
