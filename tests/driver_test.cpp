#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/faults.h"
#include "run/marked_list.h"
#include "run/messages.h"
#include "run/paths.h"
#include "run/run_state.h"
#include "tests/runner.h"

namespace fs = std::filesystem;
using Kind = run::Reporter::Kind;

namespace {

const std::string kMarked = "Winpack/Bulls/MARKED.TXT";

using test::Runner;

std::string List(const std::vector<std::string>& lines, const char* end = "\r\n") {
  std::string text;
  for (const auto& l : lines) text += l + end;
  return text;
}

// Marked lines of bulletins 000100, 000200, 000300 (all of group ARES) in a given order.
TEST(Run, PruneLimitDecidesWhichLinesAreProcessed) {
  struct Row {
    const char* name;
    int lastNum, pruneSize;
    std::vector<std::string> order;
    std::vector<std::string> moved;
  } rows[] = {
      {"first line at the limit is processed",
       2200,
       2000,
       {"000100", "000200", "000300"},
       {"000100", "000200"}},
      {"later lower number is copied",
       2200,
       2000,
       {"000100", "000300", "000150"},
       {"000100", "000300"}},
      {"limit 1", 2001, 2000, {"000100", "000200", "000300"}, {}},
      {"limit 0", 2000, 2000, {"000100", "000200", "000300"}, {}},
      {"limit below zero", 100, 2000, {"000100", "000200", "000300"}, {}},
      {"no line reaches the limit",
       99999,
       0,
       {"000100", "000200", "000300"},
       {"000100", "000200", "000300"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st(test::kInMemory);
    st.Basics(row.lastNum, row.pruneSize, {"ARES"});
    std::vector<std::string> lines, expected;
    for (const auto& n : row.order) {
      st.Bulletin(n, "ARES");
      lines.push_back(n + ",B,ARES ");
      const bool moved = std::find(row.moved.begin(), row.moved.end(), n) != row.moved.end();
      expected.push_back(moved ? n + ",KB,ARES " : n + ",B,ARES ");
    }
    st.Write(kMarked, List(lines));
    Runner r(st);
    r.Run();
    EXPECT_TRUE(r.Finished());
    EXPECT_EQ(st.Read(kMarked), List(expected));
    EXPECT_FALSE(st.Exists("Winpack/Bulls/MARKED.TMP"));
    for (const auto& n : row.order) {
      const bool moved = std::find(row.moved.begin(), row.moved.end(), n) != row.moved.end();
      EXPECT_EQ(st.Exists("Winpack/Bulls/" + n.substr(5) + "/" + n + ".TXT"), !moved) << n;
    }
  }
}

TEST(Run, PrunesizeLineShapes) {
  struct Row {
    const char* name;
    std::string ini;
    int32_t pruneSize;
  } rows[] = {
      {"equals", "PRUNE_SIZE=300\r\n", 300},
      {"blank separator", "PRUNE_SIZE 300\r\n", 300},
      {"lower case, in a section", "[Bulls]\r\nprune_size=300\r\n", 300},
      {"blank before the equals", "PRUNE_SIZE = 300\r\n", 0},
      {"comment after", "PRUNE_SIZE=300 ; comment\r\n", 300},
      {"first line counts", "PRUNE_SIZE=5\r\nPRUNE_SIZE=300\r\n", 5},
      {"longer key counts", "PRUNE_SIZES=300\r\n", 0},
      {"indented line does not count", " PRUNE_SIZE=1\r\nPRUNE_SIZE=300\r\n", 300},
      {"exactly eleven characters", "PRUNE_SIZE=\r\n", 0},
      {"fraction", "PRUNE_SIZE=2.5\r\n", 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st(test::kInMemory);
    st.Basics(12345, 0, {"ARES"});
    st.Write("Winpack/Packet.ini", row.ini);
    platform::Files files(st.OpenDrive());
    EXPECT_EQ(run::ApplyPruneSize(files, run::ReadLastNum(files)), 12345 - row.pruneSize);
  }
}

TEST(Run, DateStampAndLastNumber) {
  test::Station st(test::kInMemory);
  st.Basics(0, 2000, {"ARES"});
  platform::Files files(st.OpenDrive());
  for (auto [text, limit] : {std::pair{"12345", 10345}, {"12344.5", 10344}, {"12345.5", 10346}}) {
    st.Write("Winpack/Bulls/Lastnum.txt", std::string(text) + "\r\nignored\r\n");
    EXPECT_EQ(run::ApplyPruneSize(files, run::ReadLastNum(files)), limit) << text;
  }
  const run::RunState state = run::StartRunState(files, test::FixedClock("07-12-2026"));
  EXPECT_EQ(state.day, "07");
  EXPECT_EQ(state.month, "12");
  EXPECT_EQ(state.year, "26");
}

// Every failure before the pass stops the run with nothing changed and an error that names
// the file.
TEST(Run, FailuresBeforeThePassChangeNothing) {
  struct Row {
    const char* name;
    void (*spoil)(const test::Station&);
    const char* named;
    const char* date = "07-12-2026";
  } rows[] = {
      {"no MARKED.TXT", [](const test::Station& st) { st.Remove(kMarked); }, "MARKED.TXT"},
      {"no Lastnum.txt", [](const test::Station& st) { st.Remove("Winpack/Bulls/Lastnum.txt"); },
       "Lastnum.txt"},
      {"empty Lastnum.txt",
       [](const test::Station& st) { st.Write("Winpack/Bulls/Lastnum.txt", ""); }, "Lastnum.txt"},
      {"no Packet.ini", [](const test::Station& st) { st.Remove("Winpack/Packet.ini"); },
       "Packet.ini"},
      {"no prune-size line",
       [](const test::Station& st) { st.Write("Winpack/Packet.ini", "[Settings]\r\nX=1\r\n"); },
       "Packet.ini"},
      {"ten-character prune-size line",
       [](const test::Station& st) { st.Write("Winpack/Packet.ini", "PRUNE_SIZE\r\n"); },
       "Packet.ini"},
      {"last number too large",
       [](const test::Station& st) { st.Write("Winpack/Bulls/Lastnum.txt", "3000000000\r\n"); },
       "Lastnum.txt"},
      {"difference too small",
       [](const test::Station& st) {
         st.Write("Winpack/Bulls/Lastnum.txt", "-2147483648\r\n");
         st.Write("Winpack/Packet.ini", "PRUNE_SIZE=1\r\n");
       },
       "Packet.ini"},
      {"no Select.TXT",
       [](const test::Station& st) { st.Write("Winpack/Kelvaron.INI", "a\r\nb\r\nSelect\r\n"); },
       "Select.TXT"},
      {"Kelvaron.INI unreadable",
       [](const test::Station& st) {
         st.Remove("Winpack/Kelvaron.INI");
         st.MakeDir("Winpack/Kelvaron.INI");
       },
       "Kelvaron.INI"},
      {"month-first date", [](const test::Station&) {}, "12/7/2026", "12/7/2026"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st(test::kInMemory);
    st.Basics(2200, 2000, {"ARES"});
    st.Bulletin("000100", "ARES");
    st.Write(kMarked, "000100,B,ARES \r\n");
    st.Write("Winpack/Bulls/MARKED.TMP", "left by an earlier run");
    row.spoil(st);
    const auto before = st.Snapshot();
    Runner r(st);
    r.clock = test::FixedClock(row.date);
    r.Run();
    EXPECT_EQ(st.Snapshot(), before);
    EXPECT_NE(r.Error().find(row.named), std::string::npos) << r.Error();
  }
}

TEST(Run, FailureInThePassKeepsTheMarksOfMovedBulletins) {
  test::Station st(test::kInMemory);
  st.Basics(99999, 0, {"ARES", "WX"});
  st.Bulletin("000001", "ARES");
  st.Bulletin("000002", "WX");
  st.Bulletin("000003", "ARES");
  st.Write("Winpack/Archive/Bulls/Wx", "a file where the folder should be");
  st.Write(kMarked, "000001,B\r\n000002,B\r\n000003,B\r\n000004,B");
  Runner r(st);
  r.Run();
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,B\r\n000003,B\r\n000004,B\r\n");
  EXPECT_FALSE(st.Exists("Winpack/Bulls/1/000001.TXT"));
  EXPECT_TRUE(st.Exists("Winpack/Bulls/2/000002.TXT"));
  EXPECT_TRUE(st.Exists("Winpack/Bulls/3/000003.TXT"));  // nothing after the failure
  EXPECT_FALSE(st.Exists("Winpack/Bulls/MARKED.TMP"));
  const std::string error = r.Error();
  EXPECT_NE(error.find("C:\\Winpack\\Archive\\Bulls\\Wx"), std::string::npos) << error;
  EXPECT_NE(error.find("1 bulletin had been archived before it and is marked K"), std::string::npos)
      << error;
}

// A bulletin on two lines is one bulletin archived, however many of its lines get the mark.
TEST(Run, ABulletinOnTwoLinesIsCountedOnce) {
  const struct {
    const char* name;
    std::string list, after;
  } rows[] = {
      {"both lines before the stop", "000001,B\r\n000001,B\r\n000002,B\r\n",
       "000001,KB\r\n000001,KB\r\n000002,B\r\n"},
      {"the second line after it", "000001,B\r\n000002,B\r\n000001,B\r\n",
       "000001,KB\r\n000002,B\r\n000001,KB\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st(test::kInMemory);
    st.Basics(99999, 0, {"ARES", "WX"});
    st.Bulletin("000001", "ARES");
    st.Bulletin("000002", "WX");
    st.Write("Winpack/Archive/Bulls/Wx", "a file where the folder should be");
    st.Write(kMarked, row.list);
    Runner r(st);
    r.Run();
    EXPECT_EQ(st.Read(kMarked), row.after);
    EXPECT_NE(r.Error().find("1 bulletin had been archived before it and is marked K"),
              std::string::npos)
        << r.Error();
  }
}

TEST(Run, NewListThatCannotBeWrittenLeavesTheOldOne) {
  test::Station st(test::kInMemory);
  st.Basics(99999, 0, {"ARES"});
  st.Bulletin("000001", "ARES");
  st.Write(kMarked, "000001,B\r\n");
  st.MakeDir("Winpack/Bulls/MARKED.TMP");  // cannot be opened for writing
  Runner r(st);
  r.Run();
  EXPECT_EQ(st.Read(kMarked), "000001,B\r\n");
  EXPECT_TRUE(st.Exists("Winpack/Bulls/1/000001.TXT"));
  EXPECT_NE(r.Error().find("MARKED.TMP"), std::string::npos) << r.Error();
}

TEST(Run, ListLinesAreKeptWhateverTheirShape) {
  test::Station st(test::kInMemory);
  st.Basics(99999, 0, {"ARES"});
  st.Bulletin("000001", "ARES");
  st.Bulletin("000002", "ARES");
  // LF-only, an empty line, a line without comma, 8-bit text, hostile numbers, no final end.
  st.Write(kMarked,
           "000001 no comma\n\n..\\..\\,x\n../../,y\n000002,\xE4\xFF\xFE,z\r\n000009,last");
  Runner r(st);
  r.Run();
  EXPECT_TRUE(r.Finished());
  EXPECT_EQ(st.Read(kMarked),
            "000001 no comma,K\r\n\r\n..\\..\\,x\r\n../../,y\r\n000002,K\xE4\xFF\xFE,z\r\n"
            "000009,last\r\n");
}

TEST(Run, EmptyListIsReplacedByAnEmptyList) {
  test::Station st(test::kInMemory);
  st.Basics(99999, 0, {"ARES"});
  st.Write(kMarked, "");
  Runner r(st);
  r.Run();
  EXPECT_TRUE(r.Finished());
  EXPECT_EQ(st.Read(kMarked), "");
  EXPECT_EQ(r.rec.panels[1], "");  // no line processed: the panels are left alone
}

TEST(Run, RecycleFailureIsAWarningAndTheRunGoesOn) {
  test::Station st;
  st.Basics(99999, 0, {"ARES"});
  st.Bulletin("000001", "ARES");
  st.Write(kMarked, "000001,B\r\n");
  // A trash that cannot be made: its place is taken by a file.
  fs::create_directories(fs::path(test::TrashDir()).parent_path());
  { std::ofstream(test::TrashDir()) << "not a folder"; }
  Runner r;
  r.Run();
  fs::remove(test::TrashDir());
  ASSERT_EQ(r.rec.messages.size(), 2u);
  EXPECT_EQ(r.rec.messages[0].first, Kind::kWarning);
  EXPECT_NE(r.rec.messages[0].second.find("C:\\Winpack\\Bulls\\1\\000001.TXT"), std::string::npos);
  EXPECT_EQ(r.rec.messages[1].second, run::kFinished);
  EXPECT_TRUE(st.Exists("Winpack/Bulls/1/000001.TXT"));
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/26120701.TXT"),
            test::Station::BulletinText("000001", "ARES"));
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n");
}

// Every ending names the bulletins the trash refused, and says only what is on disk.
TEST(Run, EveryEndingNamesWhatTheTrashRefused) {
  if (!test::HasFreedesktopTrash())
    GTEST_SKIP() << "the trash is refused by putting a file in its place";
  struct Row {
    const char* name;
    void (*spoil)(const test::Station&);
    std::string message;
    std::string list;
  } rows[] = {
      {"the pass stops at a later bulletin",
       [](const test::Station& st) { st.Write("Winpack/Archive/Bulls/Wx", "a file"); },
       "The archive run stopped.\nC:\\Winpack\\Archive\\Bulls\\Wx: File exists\n"
       "1 bulletin had been archived before it and is marked K in MARKED.TXT. The other "
       "bulletins were left where they were and their lines are unchanged.\n"
       "These bulletins were archived but the trash refused them, so they are still in "
       "Winpack's folder beside their archive copies:\nC:\\Winpack\\Bulls\\1\\000001.TXT: ",
       "000001,KB\r\n000002,B\r\n"},
      {"the new list cannot take the old one's place",
       [](const test::Station&) {
         // The copies' two final names, then the list's.
         platform::faults::FailNth(platform::faults::Op::kRename, 3, EIO);
       },
       "The marked list could not be rewritten.\nC:\\Winpack\\BULLS\\MARKED.TXT: Input/output "
       "error\nMARKED.TXT is unchanged. 2 bulletins had already been archived; their lines "
       "carry no K mark yet, and the next run gives them their K mark.\n"
       "These bulletins were archived but the trash refused them, so they are still in "
       "Winpack's folder beside their archive copies:\nC:\\Winpack\\Bulls\\1\\000001.TXT: ",
       "000001,B\r\n000002,B\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st;
    st.Basics(99999, 0, {"ARES", "WX"});
    st.Bulletin("000001", "ARES");
    st.Bulletin("000002", "WX");
    st.Write(kMarked, "000001,B\r\n000002,B\r\n");
    platform::faults::Reset();
    row.spoil(st);
    fs::create_directories(fs::path(test::TrashDir()).parent_path());
    { std::ofstream(test::TrashDir()) << "not a folder"; }
    Runner r;
    r.Run();
    platform::faults::Reset();
    fs::remove(test::TrashDir());
    const std::string error = r.Error();
    EXPECT_EQ(error.substr(0, row.message.size()), row.message) << error;
    EXPECT_EQ(error.find("sent to the trash"), std::string::npos);
    EXPECT_EQ(st.Read(kMarked), row.list);
    EXPECT_TRUE(st.Exists("Winpack/Bulls/1/000001.TXT"));
    EXPECT_TRUE(st.Exists("Winpack/Archive/Bulls/Ares/26120701.TXT"));
  }
}

// A small station as an operator has it, run twice on one day.
TEST(Run, WholeStation) {
  test::Station st(test::kInMemory);
  st.Write("Winpack/Bulls/Lastnum.txt", "5300\r\n");
  st.Write("Winpack/Packet.ini", "[Settings]\r\nCALL=PA3XYZ\r\nPRUNE_SIZE=5000\r\n");  // limit 300
  st.Write("Winpack/Bulls/Select.TXT", "[TO]\r\nares\r\nwx\r\n4x4\r\n\r\nKEPS\r\n");
  // Winpack's own spelling, in two steps: a rename that changes only the case may do nothing.
  st.Rename("Winpack/Bulls", "Winpack/Bulls.tmp");
  st.Rename("Winpack/Bulls.tmp", "Winpack/BULLS");
  st.MakeDir("Winpack/Archive/Bulls/ARES");
  st.Write("Winpack/Archive/Bulls/ARES/26120701.TXT", "earlier today");
  const struct {
    const char* number;
    const char* group;
  } bulletins[] = {{"000101", "ARES"}, {"000102", "WX"}, {"000103", "KEPS"}, {"000104", "ARES"},
                   {"000105", "4X4"},  {"000300", "WX"}, {"000301", "ARES"}};
  for (const auto& b : bulletins) {
    st.Write(std::string("Winpack/BULLS/") + (b.number + 5) + "/" + b.number + ".TXT",
             test::Station::BulletinText(b.number, b.group, "73 de PA3XYZ\n\xE4\xF6\xFC\n"));
  }
  st.Write("Winpack/BULLS/MARKED.TXT",
           "000101,B,ARES \n000102,B,WX   \n000103,B,KEPS \n000199,B,ARES \n000104,B,ARES \n"
           "000105,B,4X4  \n000300,B,WX   \n000301,B,ARES \n");
  auto before = st.Snapshot();

  Runner r(st);
  r.Run();
  ASSERT_TRUE(r.Finished()) << r.rec.messages.size();

  auto after = st.Snapshot();
  const auto body = [](const char* n, const char* g) {
    return test::Station::BulletinText(n, g, "73 de PA3XYZ\r\n\xE4\xF6\xFC\r\n");
  };
  const std::map<std::string, std::string> added = {
      {"drive_c/Winpack/Kelvaron.INI",
       "#Kelvaron.INI file. In this file are groupnames from Winpack that are moved.\r\n"
       "[Kelvaron]\r\nSelect\r\n"},
      {"drive_c/Winpack/Archive/Bulls/ARES/26120702.TXT", body("000101", "ARES")},
      {"drive_c/Winpack/Archive/Bulls/ARES/26120703.TXT", body("000104", "ARES")},
      {"drive_c/Winpack/Archive/Bulls/Wx/26120701.TXT", body("000102", "WX")},
      {"drive_c/Winpack/Archive/Bulls/Wx/26120702.TXT", body("000300", "WX")},
      {"drive_c/Winpack/Archive/Bulls/4x4/26120701.TXT", body("000105", "4X4")},
  };
  const std::vector<std::string> moved = {"000101", "000102", "000104", "000105", "000300"};
  auto expected = before;
  for (const auto& [path, content] : added) expected[path] = content;
  for (const auto& n : moved) {
    const std::string rel = "drive_c/Winpack/BULLS/" + n.substr(5) + "/" + n + ".TXT";
    expected["trash:files/" + n + ".TXT"] = expected[rel];
    expected.erase(rel);
  }
  expected["drive_c/Winpack/BULLS/MARKED.TXT"] =
      "000101,KB,ARES \r\n000102,KB,WX   \r\n000103,B,KEPS \r\n000199,B,ARES \r\n"
      "000104,KB,ARES \r\n000105,KB,4X4  \r\n000300,KB,WX   \r\n000301,B,ARES \r\n";
  for (auto it = after.begin(); it != after.end();) {
    it = it->first.rfind("trash:info/", 0) == 0 ? after.erase(it) : std::next(it);
  }
  EXPECT_EQ(after, expected);

  const auto trash = st.Trash();
  ASSERT_EQ(trash.size(), moved.size());
  for (const auto& n : moved) {
    EXPECT_EQ(trash.at(n + ".TXT"), st.Host("Winpack/BULLS/" + n.substr(5) + "/" + n + ".TXT"));
  }
  EXPECT_EQ(r.rec.panels[1], "C:\\Winpack\\Bulls\\0\\000300.TXT");
  EXPECT_EQ(r.rec.panels[2], "C:\\Winpack\\Archive\\Bulls\\Wx\\26120702.TXT");

  // A second run: the moved lines find no bulletin and stay; a new one gets the next name.
  st.Write("Winpack/BULLS/6/000106.TXT", test::Station::BulletinText("000106", "ARES"));
  st.Write("Winpack/BULLS/MARKED.TXT", st.Read("Winpack/BULLS/MARKED.TXT") + "000106,B\r\n");
  st.Write("Winpack/BULLS/Lastnum.txt", "99999\r\n");
  r.Run();
  ASSERT_TRUE(r.Finished());
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/ARES/26120704.TXT"), body("000301", "ARES"));
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/ARES/26120705.TXT"),
            test::Station::BulletinText("000106", "ARES"));
  EXPECT_EQ(st.Read("Winpack/BULLS/MARKED.TXT"),
            "000101,KB,ARES \r\n000102,KB,WX   \r\n000103,B,KEPS \r\n000199,B,ARES \r\n"
            "000104,KB,ARES \r\n000105,KB,4X4  \r\n000300,KB,WX   \r\n000301,KB,ARES \r\n"
            "000106,KB\r\n");
}

}  // namespace

namespace {

TEST(Run, BulletinOfAKMarkedLineIsNotArchivedAgain) {
  test::Station st(test::kInMemory);
  st.Basics(99999, 0, {"ARES"});
  st.Bulletin("000001", "ARES");  // still there: the trash failed in an earlier run
  st.Bulletin("000002", "ARES");
  st.Write(kMarked, "000001,KB\r\n000002 no comma,K\r\n");
  const auto before = st.Snapshot();
  Runner r(st);
  r.Run();
  EXPECT_TRUE(r.Finished());
  EXPECT_EQ(st.Snapshot(), before);
}

}  // namespace

// The closing messages, from what a run did.
TEST(Messages, EachEndingSaysWhatTheRunDid) {
  using List = run::Outcome::List;
  struct Row {
    const char* name;
    run::Outcome outcome;
    std::vector<run::Message> expected;
  } rows[] = {
      {"completed",
       {.list = List::kDurable, .archived = 2, .marked = 2},
       {{Kind::kPlain, run::kFinished}}},
      {"completed with a refusal and a stray",
       {.list = List::kDurable, .notRecycled = {"C:\\b: no"}, .strays = {"C:\\s"}},
       {{Kind::kWarning,
         "These bulletins were archived but the trash refused them, so they are still in "
         "Winpack's folder beside their archive copies:\nC:\\b: no"},
        {Kind::kWarning,
         "These files in the archive's staging folder were not made by Kelvaron, so they are "
         "left where they are:\nC:\\s"},
        {Kind::kPlain, run::kFinished}}},
      {"stopped after one",
       {.list = List::kDurable, .passError = "C:\\x: full", .marked = 1},
       {{Kind::kError,
         "The archive run stopped.\nC:\\x: full\n1 bulletin had been archived before it and is "
         "marked K in MARKED.TXT. The other bulletins were left where they were and their lines "
         "are unchanged."}}},
      {"list unchanged",
       {.listError = "C:\\l: gone", .archived = 1, .finished = 2},
       {{Kind::kError,
         "The marked list could not be rewritten.\nC:\\l: gone\nMARKED.TXT is unchanged. 3 "
         "bulletins had already been archived; their lines carry no K mark yet, and the next "
         "run gives them their K mark."}}},
      {"list replaced, not confirmed",
       {.list = List::kReplaced, .listError = "C:\\l: EIO"},
       {{Kind::kError,
         "MARKED.TXT was replaced by the new list, but the disk did not confirm that it is "
         "stored.\nC:\\l: EIO\nNo bulletin had been archived. Should the power fail before the "
         "disk stores it, the next run gives the K marks again."}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(run::Messages(row.outcome), row.expected);
  }
}
