#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/file_error.h"
#include "run/archive_run.h"
#include "tests/runner.h"

namespace fs = std::filesystem;

namespace {

TEST(KMark, KeepsEveryCharacter) {
  const std::pair<std::string, std::string> rows[] = {
      {"012345,B,ARES ", "012345,KB,ARES "},  // Winpack's 14-character line
      {"012345,", "012345,K"},
      {"1,2,3", "1,K2,3"},
      {",x", ",Kx"},
      {"no comma here", "no comma here,K"},
      {"", ",K"},
      {"000100,\xE4\xFF tail", "000100,K\xE4\xFF tail"},
  };
  for (const auto& [line, marked] : rows) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run::KMark(line), marked);
  }
}

TEST(BullGroupOf, PositionsFourteenToNineteen) {
  const std::pair<std::string, std::string> rows[] = {
      {"From: PA3XYZ ARES   @WW", "ARES"},
      {"From: PA3XYZ ARES", "ARES"},  // ends inside the field
      {"From: PA3XYZ AR", "AR"},
      {"From: PA3XYZ", ""},  // shorter than 14
      {"From: PA3XYZ       @WW", ""},
      {"From: PA3XYZ  WX   @WW", " WX"},  // a leading blank belongs to the group
      {"From: PA3XYZ ABCDEFGH", "ABCDEF"},
      {"From: PA3XYZ ares  ", "ares"},
  };
  for (const auto& [line, group] : rows) {
    SCOPED_TRACE(line);
    EXPECT_EQ(run::BullGroupOf(line), group);
  }
}

// The transfer of one bulletin, on 7 December 2026.
struct Transfer : test::Runner {
  test::Station st;

  explicit Transfer(std::vector<std::string> groups = {"ARES", "WX"}) {
    state.YearText = "26";
    state.MonthText = "12";
    state.DayText = "07";
    state.GroupCount = 0;
    for (auto& g : groups) state.Groups[++state.GroupCount] = g;
  }
  void Do(const std::string& number) {
    state.MarkedLine = number + ",B,x";
    state.BullPath =
        "C:\\Winpack\\Bulls\\" + number.substr(number.size() - 1) + "\\" + number + ".TXT";
    run.Do_It();
  }
  std::string Archive(const std::string& rel) { return st.Read("Winpack/Archive/Bulls/" + rel); }
};

TEST(DoIt, MovesABulletinOfASelectedGroup) {
  Transfer t;
  t.st.Bulletin("012345", "ARES", "line 3\nline 4");  // LF only, last line unterminated
  t.Do("012345");
  EXPECT_EQ(t.Archive("Ares/26120701.TXT"),
            test::Station::BulletinText("012345", "ARES", "line 3\r\nline 4\r\n"));
  EXPECT_FALSE(t.st.Exists("Winpack/Bulls/5/012345.TXT"));
  EXPECT_EQ(t.state.MarkedLine, "012345,KB,x");
  EXPECT_EQ(t.rec.panels[1], "C:\\Winpack\\Bulls\\5\\012345.TXT");
  EXPECT_EQ(t.rec.panels[2], "C:\\Winpack\\Archive\\Bulls\\Ares\\26120701.TXT");
  const auto trash = t.st.Trash();
  ASSERT_EQ(trash.size(), 1u);
  EXPECT_EQ(trash.begin()->second, t.st.Host("Winpack/Bulls/5/012345.TXT"));
  EXPECT_EQ(t.run.archivedCount(), 1);
}

TEST(DoIt, BulletinsThatStay) {
  struct Row {
    const char* name;
    std::string content;  // nothing written when empty and `missing`
    bool missing;
    std::vector<std::string> groups;
  } rows[] = {
      {"no file", "", true, {"ARES"}},
      {"group not selected", test::Station::BulletinText("000001", "KEPS"), false, {"ARES"}},
      {"group in lower case", test::Station::BulletinText("000001", "ares"), false, {"ARES"}},
      {"leading blank", test::Station::BulletinText("000001", " ARES"), false, {"ARES"}},
      {"short second line", "header\r\nFrom: PA3X\r\n", false, {"ARES"}},
      {"entry longer than six",
       test::Station::BulletinText("000001", "ARESNET"),
       false,
       {"ARESNET"}},
      {"no groups", test::Station::BulletinText("000001", "ARES"), false, {}},
      {"one line only", "R:261207 header only\r\n", false, {"ARES"}},
      {"empty file", "", false, {"ARES"}},
      {"group with a path character", "h\r\nFrom: PA3XYZ ..\r\n", false, {".."}},
      {"wildcard group", "h\r\nFrom: PA3XYZ A*B\r\n", false, {"A*B"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Transfer t(row.groups);
    if (!row.missing) t.st.Write("Winpack/Bulls/1/000001.TXT", row.content);
    const auto before = t.st.Snapshot();
    t.Do("000001");
    EXPECT_EQ(t.st.Snapshot(), before);
    EXPECT_EQ(t.state.MarkedLine, "000001,B,x");
    EXPECT_EQ(t.rec.panels[1], "C:\\Winpack\\Bulls\\1\\000001.TXT");
    EXPECT_EQ(t.rec.panels[2], "");
    EXPECT_TRUE(fs::is_empty(t.st.Host("Winpack/Archive/Bulls")));
  }
}

#ifndef _WIN32  // pipes and symbolic links are POSIX's; Windows has its own case
TEST(DoIt, BulletinThatIsNotAFileIsPassedOver) {
  Transfer t;
  t.st.MakeDir("Winpack/Bulls/1/000001.TXT");
  t.st.MakeDir("Winpack/Bulls/2");
  ASSERT_EQ(mkfifo(t.st.Host("Winpack/Bulls/2/000002.TXT").c_str(), 0600), 0);
  t.st.Write("Winpack/elsewhere.txt", test::Station::BulletinText("000003", "ARES"));
  t.st.MakeDir("Winpack/Bulls/3");
  fs::create_symlink(t.st.Host("Winpack/elsewhere.txt"), t.st.Host("Winpack/Bulls/3/000003.TXT"));
  for (const char* number : {"000001", "000002", "000003"}) t.Do(number);
  EXPECT_TRUE(fs::is_empty(t.st.Host("Winpack/Archive/Bulls")));
  EXPECT_TRUE(t.st.Exists("Winpack/Bulls/3/000003.TXT"));
}
#endif

TEST(DoIt, TwoLineBulletinAndRepeatedGroup) {
  Transfer t({"WX", "ARES", "ARES"});
  t.st.Write("Winpack/Bulls/1/000001.TXT", "head\r\nFrom: PA3XYZ ARES");
  t.Do("000001");
  EXPECT_EQ(t.Archive("Ares/26120701.TXT"), "head\r\nFrom: PA3XYZ ARES\r\n");
  EXPECT_EQ(t.state.MarkedLine, "000001,KB,x");  // marked once
  EXPECT_EQ(fs::directory_iterator(t.st.Host("Winpack/Archive/Bulls/Ares"))->path().filename(),
            "26120701.TXT");
}

TEST(DoIt, NumbersFollowTheFolderWhateverTheGroupsPosition) {
  Transfer t({"WX", "KEPS", "ARES"});
  t.st.Write("Winpack/Archive/Bulls/Ares/26120701.TXT", "old 1");
  t.st.Write("Winpack/Archive/Bulls/Ares/26120702.TXT", "old 2");
  t.st.Bulletin("000001", "ARES");
  t.st.Bulletin("000002", "ARES");
  t.Do("000001");
  t.Do("000002");
  EXPECT_EQ(t.Archive("Ares/26120703.TXT"), test::Station::BulletinText("000001", "ARES"));
  EXPECT_EQ(t.Archive("Ares/26120704.TXT"), test::Station::BulletinText("000002", "ARES"));
  EXPECT_EQ(t.Archive("Ares/26120701.TXT"), "old 1");
}

TEST(DoIt, AFailedCopyLeavesTheBulletinAndNoPartialFile) {
  Transfer t;
  t.st.Bulletin("000001", "ARES");
  t.st.Write("Winpack/Archive/Bulls/Ares", "a file where the folder should be");
  EXPECT_THROW(t.Do("000001"), platform::FileError);
  EXPECT_TRUE(t.st.Exists("Winpack/Bulls/1/000001.TXT"));
  EXPECT_EQ(t.state.MarkedLine, "000001,B,x");
  EXPECT_TRUE(t.st.Trash().empty());
}

}  // namespace
