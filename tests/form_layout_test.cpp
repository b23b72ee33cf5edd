#include "app/form_layout.h"

#include <gtest/gtest.h>

#include <clocale>
#include <ostream>
#include <string>

namespace form {
void PrintTo(const Rect& r, std::ostream* out) {
  *out << r.left << ", " << r.top << ", " << r.width << " x " << r.height;
}
}  // namespace form

namespace {

using form::NumberFormat;
using form::Rect;

constexpr NumberFormat kPoint{'.', ','};
constexpr NumberFormat kComma{',', '.'};

struct NumberRow {
  const char* name;
  std::string text;
  NumberFormat format;
  std::optional<double> expected;
};

const NumberRow kNumberRows[] = {
    {"empty", "", kPoint, std::nullopt},
    {"blanks only", " \t ", kPoint, std::nullopt},
    {"whole number", "1000", kPoint, 1000},
    {"blanks around", " \t1000 ", kPoint, 1000},
    {"decimal point", "1500.5", kPoint, 1500.5},
    {"decimal comma", "1500,5", kComma, 1500.5},
    {"comma where the point is the separator", "1500,5", kPoint, std::nullopt},
    {"point where the comma is the separator", "1500.5", kComma, std::nullopt},
    {"grouped thousands", "1.500,5", kComma, std::nullopt},
    {"minus", "-250", kPoint, -250},
    {"plus", "+250", kPoint, 250},
    {"leading separator", ",5", kComma, 0.5},
    {"trailing separator", "5.", kPoint, 5},
    {"exponent", "1e30", kPoint, 1e30},
    {"exponent with sign and fraction", "2,5E+3", kComma, 2500},
    {"hundred million", "100000000", kPoint, 1e8},
    {"exponent beyond a double", "1e400", kPoint, std::nullopt},
    {"exponent without digits", "1e", kPoint, std::nullopt},
    {"lone sign", "-", kPoint, std::nullopt},
    {"lone separator", ".", kPoint, std::nullopt},
    {"two separators", "1.2.3", kPoint, std::nullopt},
    {"sign twice", "--5", kPoint, std::nullopt},
    {"blank inside", "15 00", kPoint, std::nullopt},
    {"hexadecimal", "0x10", kPoint, std::nullopt},
    {"infinity", "inf", kPoint, std::nullopt},
    {"not a number", "nan", kPoint, std::nullopt},
    {"unit after", "100px", kPoint, std::nullopt},
    {"8-bit letter", "\xE4", kPoint, std::nullopt},
    {"8-bit blank after digits", "1500\xA0", kPoint, std::nullopt},
    {"UTF-8 blank inside",
     "1\xC2\xA0"
     "000",
     kPoint, std::nullopt},
    {"NUL inside",
     std::string("10\0"
                 "0",
                 4),
     kPoint, std::nullopt},
};

void ExpectNumberRows() {
  for (const NumberRow& row : kNumberRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(form::StoredNumber(row.text, row.format), row.expected) << '"' << row.text << '"';
  }
}

TEST(StoredNumber, ReadsTheLocalesShapesAndRefusesTheRest) { ExpectNumberRows(); }

// The program runs with the C library set to the user's locale (Qt sets it from the
// environment), where a decimal comma can make the C library's own readers stop at a point.
TEST(StoredNumber, DoesNotDependOnTheCLibrarysLocale) {
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "no de_DE.UTF-8 locale (the test run makes one through LOCPATH)";
  }
  ExpectNumberRows();
  std::setlocale(LC_NUMERIC, before.c_str());
}

// 96 dots per inch: 15 twips a pixel. The default frame is 67, 67, 633 x 133 pixels.
constexpr double kDpi = 96;
constexpr Rect kDefaults{67, 67, 633, 133};
const std::vector<Rect> kOneScreen = {{0, 0, 1024, 768}};
// A second screen set diagonally below and right of the first.
const std::vector<Rect> kDiagonal = {{0, 0, 1024, 768}, {1024, 768, 1280, 1024}};

struct PlacementRow {
  const char* name;
  form::StoredTexts stored;  // MainLeft, MainTop, MainWidth, MainHeight
  NumberFormat format;
  std::vector<Rect> areas;
  Rect expected;
};

const std::nullopt_t none = std::nullopt;

const PlacementRow kPlacementRows[] = {
    {"nothing stored", {none, none, none, none}, kPoint, kOneScreen, kDefaults},
    {"defaults as their texts", {"1000", "1000", "9500", "2000"}, kPoint, kOneScreen, kDefaults},
    {"only the width", {none, none, "12000", none}, kPoint, kOneScreen, {67, 67, 800, 133}},
    {"left with decimal point",
     {"1500.5", none, none, none},
     kPoint,
     kOneScreen,
     {100, 67, 633, 133}},
    {"left with decimal comma",
     {"1500,5", none, none, none},
     kComma,
     kOneScreen,
     {100, 67, 633, 133}},
    {"all four", {"0", "150", "6000", "3000"}, kPoint, kOneScreen, {0, 10, 400, 200}},
    {"empty and malformed", {"", "left", "9500x", "\xE4"}, kPoint, kOneScreen, kDefaults},
    {"beyond any pixels, taller than the screen",
     {none, none, "1e30", "20000"},
     kPoint,
     kOneScreen,
     {67, 67, 1024, 768}},
    {"width of the whole work area",
     {"0", "0", "15360", "11520"},
     kPoint,
     kOneScreen,
     {0, 0, 1024, 768}},
    {"one pixel wider than the work area",
     {"0", "0", "15375", "11535"},
     kPoint,
     kOneScreen,
     {0, 0, 1024, 768}},
    {"fitted to the larger screen",
     {"20000", "15000", "100000000", "1e300"},
     kPoint,
     kDiagonal,
     {1333, 1000, 1280, 1024}},
    {"negative and zero sizes", {none, none, "-9500", "0"}, kPoint, kOneScreen, kDefaults},
    {"-0 wide, rounded to no pixel high", {none, none, "-0", "7"}, kPoint, kOneScreen, kDefaults},
    {"fitted width then off to the right",
     {"15360", none, "1e9", none},
     kPoint,
     kOneScreen,
     {67, 67, 1024, 133}},
    {"partly off the left and top",
     {"-5000", "-1000", none, none},
     kPoint,
     kOneScreen,
     {-333, -67, 633, 133}},
    {"wholly off to the left", {"-10000", none, none, none}, kPoint, kOneScreen, kDefaults},
    {"wholly off to the right",
     {"15360", "500", none, none},
     kPoint,
     kOneScreen,
     {67, 33, 633, 133}},
    {"last column on the screen",
     {"15345", none, none, none},
     kPoint,
     kOneScreen,
     {1023, 67, 633, 133}},
    {"wholly below", {"500", "11520", none, none}, kPoint, kOneScreen, {33, 67, 633, 133}},
    {"wholly above", {none, "-2000", none, none}, kPoint, kOneScreen, kDefaults},
    {"far off both ways", {"9000000", "9000000", none, none}, kPoint, kOneScreen, kDefaults},
    {"left near the largest int", {"3e10", none, none, none}, kPoint, kOneScreen, kDefaults},
    {"position beyond any number of pixels",
     {"1e30", "-1e30", none, none},
     kPoint,
     kOneScreen,
     kDefaults},
    {"on the second screen",
     {"20000", "15000", "18000", none},
     kPoint,
     kDiagonal,
     {1333, 1000, 1200, 133}},
    {"each edge on a different screen",
     {"20000", "1000", none, none},
     kPoint,
     kDiagonal,
     {67, 67, 633, 133}},
    {"no work areas known",
     {"-9000000", "9000000", "30000", "1e30"},
     kPoint,
     {},
     {-600000, 600000, 2000, 133}},
};

TEST(Placement, FallsBackValueByValue) {
  for (const PlacementRow& row : kPlacementRows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(form::Placement(row.stored, row.format, kDpi, row.areas), row.expected);
  }
}

TEST(Placement, ScalesWithTheScreensDotsPerInch) {
  const Rect r = form::Placement({none, none, "12000", none}, kPoint, 144, {{0, 0, 1920, 1080}});
  EXPECT_EQ(r, (Rect{100, 100, 1200, 200}));
}

TEST(PanelWidth, HalvesTheBarButKeepsTheMinimum) {
  struct Row {
    const char* name;
    int bar;
    int expected;
  } rows[] = {
      {"default window", 633, 306},  // less the 20 pixels at the end, halved
      {"narrow window", 200, 96},    // 1440 twips
      {"no width", 0, 96},
      {"negative width", -50, 96},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(form::PanelWidth(row.bar, kDpi), row.expected);
  }
}

// Times here are the pacer's input, not measured: a simulated run of texts, one a millisecond.
TEST(PaintPacer, PaintsAtMostOncePerIntervalAndLeavesTheLatestPending) {
  form::PaintPacer pacer(33);
  int paints = 0;
  std::int64_t lastPaint = -1000;
  for (std::int64_t now = 5000; now < 6000; ++now) {
    if (pacer.Changed(now)) {
      ++paints;
      EXPECT_GE(now - lastPaint, 33) << "at " << now;
      lastPaint = now;
    }
  }
  EXPECT_LE(paints, 31);
  EXPECT_GE(paints, 30);
  EXPECT_TRUE(pacer.Pending());  // the texts after the paint at 5990
  pacer.Flush();
  EXPECT_FALSE(pacer.Pending());
}

TEST(PaintPacer, AChangeAfterAQuietSpellIsPaintedAtOnce) {
  form::PaintPacer pacer(33);
  EXPECT_TRUE(pacer.Changed(0));  // the first text of all, at the clock's very start
  EXPECT_FALSE(pacer.Changed(10));
  EXPECT_TRUE(pacer.Pending());
  EXPECT_TRUE(pacer.Changed(500));
  EXPECT_FALSE(pacer.Pending());
}

// A run's first texts wait one interval too: a run shorter than that is painted once, at its
// end, by whoever flushes what is pending.
TEST(PaintPacer, ARunsFirstTextsWaitOneInterval) {
  form::PaintPacer pacer(33);
  EXPECT_TRUE(pacer.Changed(100));  // texts of an earlier command
  pacer.Begin(1000);
  EXPECT_FALSE(pacer.Pending());
  EXPECT_FALSE(pacer.Changed(1001));
  EXPECT_FALSE(pacer.Changed(1032));
  EXPECT_TRUE(pacer.Pending());
  EXPECT_TRUE(pacer.Changed(1033));
  EXPECT_FALSE(pacer.Pending());
}

}  // namespace
