#include <gtest/gtest.h>

#include "platform/faults.h"
#include "platform/file_error.h"
#include "run/marked_list.h"
#include "run/paths.h"
#include "run/transfer.h"
#include "tests/runner.h"

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

TEST(GroupField, PositionsFourteenToNineteen) {
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
    EXPECT_EQ(run::GroupField(line), group);
  }
}

// Runs over marked lines "<number>,B,x" on 7 December 2026, with the given selection, on
// drive C: in memory.
struct Transfer {
  test::Station st{test::kInMemory};
  test::Runner r{st};

  explicit Transfer(std::vector<std::string> groups = {"ARES", "WX"}) {
    st.Basics(999999, 0, groups);
  }
  /// The new marked list after one run over the numbers.
  std::string Do(const std::vector<std::string>& numbers) {
    std::string list;
    for (const std::string& n : numbers) list += n + ",B,x\r\n";
    st.Write("Winpack/Bulls/MARKED.TXT", list);
    r.Run();
    return st.Read("Winpack/Bulls/MARKED.TXT");
  }
  std::string Archive(const std::string& rel) { return st.Read("Winpack/Archive/Bulls/" + rel); }
};

TEST(Archive, MovesABulletinOfASelectedGroup) {
  Transfer t;
  t.st.Bulletin("012345", "ARES", "line 3\nline 4");  // LF only, last line unterminated
  EXPECT_EQ(t.Do({"012345"}), "012345,KB,x\r\n");
  EXPECT_TRUE(t.r.Finished());
  EXPECT_EQ(t.Archive("Ares/26120701.TXT"),
            test::Station::BulletinText("012345", "ARES", "line 3\r\nline 4\r\n"));
  EXPECT_FALSE(t.st.Exists("Winpack/Bulls/5/012345.TXT"));
  EXPECT_EQ(t.r.rec.panels[1], "C:\\Winpack\\Bulls\\5\\012345.TXT");
  EXPECT_EQ(t.r.rec.panels[2], "C:\\Winpack\\Archive\\Bulls\\Ares\\26120701.TXT");
  const auto trash = t.st.Trash();
  ASSERT_EQ(trash.size(), 1u);
  EXPECT_EQ(trash.begin()->second, t.st.Host("Winpack/Bulls/5/012345.TXT"));
  // Nothing of the run's own is left: no lock, journal, new list or staging folder.
  EXPECT_EQ(t.st.Snapshot().count("Winpack/Bulls/MARKED.JNL"), 0u);
  EXPECT_FALSE(t.st.Exists("Winpack/Archive/Bulls/Kelvaron.tmp"));
}

TEST(Archive, BulletinsThatStay) {
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
    t.st.Write("Winpack/Bulls/MARKED.TXT", "000001,B,x\r\n");
    const auto before = t.st.Snapshot();
    EXPECT_EQ(t.Do({"000001"}), "000001,B,x\r\n");
    EXPECT_EQ(t.st.Snapshot(), before);
    EXPECT_EQ(t.r.rec.panels[1], "C:\\Winpack\\Bulls\\1\\000001.TXT");
    EXPECT_EQ(t.r.rec.panels[2], "");
  }
}

TEST(Archive, TwoLineBulletinAndRepeatedGroup) {
  Transfer t({"WX", "ARES", "ARES"});
  t.st.Write("Winpack/Bulls/1/000001.TXT", "head\r\nFrom: PA3XYZ ARES");
  EXPECT_EQ(t.Do({"000001"}), "000001,KB,x\r\n");  // marked once
  EXPECT_EQ(t.Archive("Ares/26120701.TXT"), "head\r\nFrom: PA3XYZ ARES\r\n");
  EXPECT_EQ(t.st.EntriesIn("Winpack/Archive/Bulls/Ares"), std::vector<std::string>{"26120701.TXT"});
}

TEST(Archive, NumbersFollowTheFolderWhateverTheGroupsPosition) {
  Transfer t({"WX", "KEPS", "ARES"});
  t.st.Write("Winpack/Archive/Bulls/Ares/26120701.TXT", "old 1");
  t.st.Write("Winpack/Archive/Bulls/Ares/26120702.TXT", "old 2");
  t.st.Bulletin("000001", "ARES");
  t.st.Bulletin("000002", "ARES");
  t.Do({"000001", "000002"});
  EXPECT_EQ(t.Archive("Ares/26120703.TXT"), test::Station::BulletinText("000001", "ARES"));
  EXPECT_EQ(t.Archive("Ares/26120704.TXT"), test::Station::BulletinText("000002", "ARES"));
  EXPECT_EQ(t.Archive("Ares/26120701.TXT"), "old 1");
}

TEST(Archive, AFailedCopyLeavesTheBulletinAndNoPartialFile) {
  Transfer t;
  t.st.Bulletin("000001", "ARES");
  t.st.Write("Winpack/Archive/Bulls/Ares", "a file where the folder should be");
  EXPECT_EQ(t.Do({"000001"}), "000001,B,x\r\n");
  EXPECT_NE(t.r.Error().find("C:\\Winpack\\Archive\\Bulls\\Ares"), std::string::npos);
  EXPECT_TRUE(t.st.Exists("Winpack/Bulls/1/000001.TXT"));
  EXPECT_TRUE(t.st.Trash().empty());
}

// Every line of a moved bulletin gets its K mark, so that a bulletin marked twice is archived
// once even when the trash refuses it, or its lines stand more than a batch apart.
TEST(Archive, ABulletinMarkedTwiceIsArchivedOnce) {
  struct Row {
    const char* name;
    int between;  // other lines between the two lines of bulletin 000001
    bool trashRefuses;
  } rows[] = {{"side by side, trash refuses", 0, true},
              {"a batch apart", static_cast<int>(run::kBatchSize) + 8, false},
              {"a batch apart, trash refuses", static_cast<int>(run::kBatchSize) + 8, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Transfer t({"ARES", "WX"});
    t.st.Bulletin("000001", "ARES");
    std::vector<std::string> numbers = {"000001"};
    for (int i = 0; i < row.between; ++i) {
      const std::string n = std::to_string(100000 + i);
      t.st.Bulletin(n, "WX");
      numbers.push_back(n);
    }
    numbers.push_back("000001");
    platform::faults::Reset();
    if (row.trashRefuses) platform::faults::FailNth(platform::faults::Op::kTrash, 1, EIO);
    const std::string list = t.Do(numbers);
    platform::faults::Reset();
    EXPECT_EQ(list.substr(0, 12), "000001,KB,x\r");
    EXPECT_EQ(list.substr(list.size() - 13), "000001,KB,x\r\n");
    t.r.clock = test::FixedClock("08-12-2026");
    t.r.Run();
    EXPECT_EQ(t.st.FilesIn("Winpack/Archive/Bulls/Ares").size(), 1u);
  }
}

// A run lists a folder once many of its bulletins were missing, and takes the listing's word
// for the rest: a bulletin there must still move, whatever case its name is in.
TEST(Archive, BulletinsAmongManyMissingOnes) {
  struct Row {
    const char* name;
    const char* file;  // the bulletin 000001's file in Bulls/1
  } rows[] = {
      {"exact name", "000001.TXT"}, {"lower case", "000001.txt"}, {"mixed case", "000001.Txt"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Transfer t;
    t.st.Write(std::string("Winpack/Bulls/1/") + row.file,
               test::Station::BulletinText("000001", "ARES"));
    std::vector<std::string> numbers;
    for (int i = 0; i < 200; ++i) numbers.push_back(std::to_string(100001 + 10 * i));
    numbers.push_back("000001");
    const std::string list = t.Do(numbers);
    EXPECT_EQ(list.substr(list.size() - 13), "000001,KB,x\r\n");
    EXPECT_EQ(t.Archive("Ares/26120701.TXT"), test::Station::BulletinText("000001", "ARES"));
  }
}

}  // namespace
