#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "platform/file_error.h"
#include "platform/files.h"
#include "settings/selection.h"
#include "tests/station.h"

namespace {

const std::string kDefaultIni =
    "#Kelvaron.INI file. In this file are groupnames from Winpack that are moved.\r\n"
    "[Kelvaron]\r\nSelect\r\n";

std::vector<std::string> Load(const test::Station& st) {
  platform::Files files(st.OpenDrive());  // each load stands for a run, which sees the disk afresh
  return settings::LoadSelection(files);
}

std::string Lines(int from, int to, const char* prefix) {
  std::string text;
  for (int i = from; i <= to; ++i) text += prefix + std::to_string(i) + "\r\n";
  return text;
}

std::vector<std::string> Names(int from, int to, const char* prefix) {
  std::vector<std::string> names;
  for (int i = from; i <= to; ++i) names.push_back(prefix + std::to_string(i));
  return names;
}

struct Row {
  const char* name;
  std::optional<std::string> ini;     // nothing: no Kelvaron.INI
  std::optional<std::string> select;  // nothing: no Select.TXT
  std::vector<std::string> groups;
};

TEST(LoadSelection, Sources) {
  const Row rows[] = {
      {"default ini, [TO] list ends at empty line",
       std::nullopt,
       "[TO]\r\nares\r\nWX\r\n\r\nALL\r\n",
       {"ARES", "WX"}},
      {"ini names, empty line skipped",
       "# my groups\r\n[Kelvaron]\r\nares\r\n\r\nWx\r\nALL\r\n",
       {},
       {"ARES", "WX", "ALL"}},
      {"select in lower case", "a\r\nb\r\nselect\r\nIGNORED\r\n", "[TO]\r\nwx\r\n", {"WX"}},
      {"Select followed by a blank is a group", "a\r\nb\r\nSelect \r\n", {}, {"SELECT "}},
      {"empty third line", "a\r\nb\r\n\r\nares\r\n", {}, {"ARES"}},
      {"blank line is an entry", "a\r\nb\r\nares\r\n  \r\n", {}, {"ARES", "  "}},
      {"only two lines", "a\r\nb\r\n", {}, {}},
      {"empty ini", "", {}, {}},
      {"header not exactly [TO]", std::nullopt, "[to]\r\nwx\r\nARES\r\n", {"WX"}},
      {"header with a blank", std::nullopt, "[TO] \r\nwx\r\nARES\r\n", {"WX"}},
      {"empty second line", std::nullopt, "[TO]\r\n\r\nARES\r\n", {}},
      {"one-line Select.TXT", std::nullopt, "[TO]\r\n", {}},
      {"no empty line at the end", std::nullopt, "[TO]\r\nA\r\nB", {"A", "B"}},
      {"repeats kept, 8-bit upper-cased",
       std::nullopt,
       "[TO]\r\nwx\r\nwx\r\n\xE4rt\r\n",
       {"WX", "WX", "\xC4RT"}},
      {"LF-only ini", "a\nb\nares\nwx\n", {}, {"ARES", "WX"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st(test::kInMemory);
    if (row.ini) st.Write("Winpack/Kelvaron.INI", *row.ini);
    if (row.select) st.Write("Winpack/Bulls/Select.TXT", *row.select);
    EXPECT_EQ(Load(st), row.groups);
  }
}

// Groups are upper-cased the way the station's Windows does it, in its own code page: the
// same bytes are other letters in another code page.
TEST(LoadSelection, GroupsUpperCasedInTheSystemsCodePage) {
  const struct {
    const char* name;
    unsigned codePage;  // 0: the prefix records none
    std::string group;
    std::string upper;
  } rows[] = {
      {"Cyrillic che, ya, yo in 1251", 1251, "\xF7\xFF\xB8", "\xD7\xDF\xA8"},
      {"the same bytes in 1252: division, y diaeresis, cedilla", 1252, "\xF7\xFF\xB8",
       "\xF7\x9F\xB8"},
      {"Polish a ogonek, s acute, z dot in 1250", 1250, "\xB9\x9C\xBF", "\xA5\x8C\xAF"},
      {"no code page recorded: 1252", 0, "\xF7\xFF\xE4", "\xF7\x9F\xC4"},
      {"micro sign and sharp s keep their case", 1252, "\xB5\xDF", "\xB5\xDF"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st;
    if (row.codePage != 0 && !test::UseCodePage(st, row.codePage)) continue;
    if (row.codePage == 0 && !test::DriveIsWinePrefix()) continue;
    st.Write("Winpack/Kelvaron.INI", "a\r\nb\r\n" + row.group + "\r\n");
    EXPECT_EQ(Load(st), std::vector<std::string>{row.upper});
  }
}

TEST(LoadSelection, HoldsAtMost128Names) {
  test::Station st(test::kInMemory);
  st.Write("Winpack/Kelvaron.INI", "a\r\nb\r\n" + Lines(1, 130, "G"));
  EXPECT_EQ(Load(st), Names(1, 128, "G"));
  st.Write("Winpack/Kelvaron.INI", "a\r\nb\r\n" + Lines(1, 128, "G"));
  EXPECT_EQ(Load(st), Names(1, 128, "G"));
  st.Write("Winpack/Kelvaron.INI", kDefaultIni);
  st.Write("Winpack/Bulls/Select.TXT", "[TO]\r\n" + Lines(1, 130, "S"));
  EXPECT_EQ(Load(st), Names(1, 128, "S"));
}

TEST(LoadSelection, CreatesTheDefaultFileOnce) {
  test::Station st(test::kInMemory);
  st.Write("Winpack/Bulls/Select.TXT", "[TO]\r\nARES\r\n");
  EXPECT_EQ(Load(st), std::vector<std::string>{"ARES"});
  EXPECT_EQ(st.Read("Winpack/Kelvaron.INI"), kDefaultIni);
  // A file of another letter case is Kelvaron.INI too, and is not replaced.
  st.Remove("Winpack/Kelvaron.INI");
  st.Write("Winpack/kelvaron.ini", "x\r\ny\r\nWX\r\n");
  EXPECT_EQ(Load(st), std::vector<std::string>{"WX"});
  const std::vector<std::string> names = st.EntriesIn("Winpack");
  EXPECT_EQ(std::count(names.begin(), names.end(), "kelvaron.ini"), 1);
  EXPECT_EQ(std::count(names.begin(), names.end(), "Kelvaron.INI"), 0);
}

TEST(LoadSelection, FailuresNameTheFileAndLeaveAnEmptyList) {
  struct Case {
    const char* name;
    void (*prepare)(const test::Station&);
    const char* path;
  } cases[] = {
      {"Select.TXT missing", [](const test::Station&) {}, "Select.TXT"},
      {"Kelvaron.INI is a folder",
       [](const test::Station& st) { st.MakeDir("Winpack/Kelvaron.INI"); }, "Kelvaron.INI"},
      {"C:\\Winpack missing", [](const test::Station& st) { st.Remove("Winpack"); }, "C:\\Winpack"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::Station st(test::kInMemory);
    c.prepare(st);
    std::vector<std::string> groups;
    platform::Files files(st.OpenDrive());
    try {
      groups = settings::LoadSelection(files);
      ADD_FAILURE() << "no error";
    } catch (const platform::FileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
    }
    EXPECT_TRUE(groups.empty());
    if (std::string(c.path) == "C:\\Winpack") {
      EXPECT_FALSE(st.Exists("Winpack"));
    }
  }
}

}  // namespace
