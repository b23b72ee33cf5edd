#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "run/value.h"

namespace {

struct ValueRow {
  const char* name;
  const char* text;
  double value;
};

const ValueRow kValues[] = {
    {"plain", "12345", 12345},
    {"line end after", "12345\r", 12345},
    {"leading blanks and tabs", " \t 42", 42},
    {"blanks inside digits", "1 2\t3", 123},
    {"sign then blank", "- 5", -5},
    {"plus sign", "+7", 7},
    {"decimal point", "12344.5", 12344.5},
    {"second point stops", "1.2.3", 1.2},
    {"point first", ".5", 0.5},
    {"exponent E", "1E3", 1000},
    {"exponent d lower case", "2d2", 200},
    {"negative exponent", "25E-1", 2.5},
    {"exponent without digits", "3E", 3},
    {"stops at letter", "300 ; comment", 300},
    {"equals sign first", "= 300", 0},
    {"empty", "", 0},
    {"only blanks", "   ", 0},
    {"only a point", ".", 0},
    {"only a sign", "-", 0},
    {"8-bit text", "\xE4\xF6", 0},
    {"comma is not a decimal point", "1,5", 1},
    {"underflow is zero", "1E-99999", 0},
};

TEST(ValueOfText, Table) {
  for (const auto& row : kValues) {
    SCOPED_TRACE(row.name);
    EXPECT_DOUBLE_EQ(run::ValueOfText(row.text), row.value);
  }
}

TEST(ValueOfText, HugeExponentIsInfinite) {
  EXPECT_TRUE(std::isinf(run::ValueOfText("1E99999")));
  EXPECT_TRUE(std::isinf(run::ValueOfText("-9D400")));
  EXPECT_LT(run::ValueOfText("-9D400"), 0);
}

struct LongRow {
  const char* name;
  double value;
  int32_t result;
};

const LongRow kLongs[] = {
    {"whole", 12345, 12345},
    {"halfway down to even", 2.5, 2},
    {"halfway up to even", 3.5, 4},
    {"12344.5", 12344.5, 12344},
    {"12345.5", 12345.5, 12346},
    {"below half", 7.49, 7},
    {"negative halfway", -2.5, -2},
    {"largest", 2147483647, 2147483647},
    {"smallest", -2147483648.0, INT32_MIN},
};

TEST(RoundToWhole, RoundsHalfToEven) {
  for (const auto& row : kLongs) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(run::RoundToWhole(row.value), row.result);
  }
}

TEST(RoundToWhole, OverflowIsAnError) {
  for (double v : {2147483648.0, 2147483647.5, -2147483649.0, HUGE_VAL, -HUGE_VAL}) {
    SCOPED_TRACE(v);
    EXPECT_THROW(run::RoundToWhole(v), std::overflow_error);
  }
}

TEST(SequenceText, LeadingZeroBelowTen) {
  EXPECT_EQ(run::SequenceText(1), "01");
  EXPECT_EQ(run::SequenceText(9), "09");
  EXPECT_EQ(run::SequenceText(10), "10");
  EXPECT_EQ(run::SequenceText(100), "100");
  EXPECT_EQ(run::SequenceText(32767), "32767");
}

}  // namespace
