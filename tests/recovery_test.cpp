// What a run does about the runs before it and beside it, and about what it cannot archive:
// interrupted runs, a second run at once, Winpack writing the list meanwhile, links, and
// groups that Windows cannot hold as folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "platform/faults.h"
#include "platform/files.h"
#include "run/messages.h"
#include "run/run.h"
#include "tests/memory_drive.h"
#include "tests/runner.h"

namespace fs = std::filesystem;
using Kind = run::Reporter::Kind;

namespace {

const std::string kMarked = "Winpack/Bulls/MARKED.TXT";
const std::string kJournal = "Winpack/Bulls/MARKED.JNL";

// The staging prefix of the interrupted run in these journals.
const std::string kToken = "0badc0de";
const std::string kStaged = "Winpack/Archive/Bulls/Kelvaron.tmp/" + kToken + "-Ares-26120703.TXT";

std::string JournalEntry(const std::string& bulletinPath, const std::string& archivePath,
                         const std::string& line) {
  return "S " + kToken + "\r\n#\r\nB " + bulletinPath +
         "\r\nT C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp\\" + kToken + "-Ares-26120703.TXT\r\nA " +
         archivePath + "\r\nL " + line + "\r\n";
}

// How many files of the archive and the trash hold exactly these bytes.
int Copies(const test::Station& st, const std::string& bytes) {
  int n = 0;
  for (const auto& [path, content] : st.Snapshot()) {
    if (content == bytes && path.rfind("drive_c/Winpack/Archive/", 0) == 0) ++n;
  }
  return n;
}

// A run that died left a trace in the journal; the next run, on the next day, finishes its
// bulletin instead of archiving it twice, gives back its K mark, and forgets the trace.
TEST(Interrupted, TheNextRunFinishesWhatTheJournalNames) {
  const std::string b1 = test::Station::BulletinText("000001", "ARES");
  struct Row {
    const char* name;
    bool bulletinThere;
    std::string archived;  // the copy the journal names, below Archive/Bulls/Ares; "" none
    std::string staged;    // a copy left under a temporary name; "" none
    std::string journal;
    std::string expectedCopy;  // where the one copy of 000001 is afterwards
  } rows[] = {
      {"copy whole, bulletin still there, a gap below it", true, b1, "",
       JournalEntry("C:\\Winpack\\Bulls\\1\\000001.TXT",
                    "C:\\Winpack\\Archive\\Bulls\\Ares\\26120703.TXT", "000001,B"),
       "Winpack/Archive/Bulls/Ares/26120703.TXT"},
      {"bulletin already in the trash, its K mark lost", false, b1, "",
       JournalEntry("C:\\Winpack\\Bulls\\1\\000001.TXT",
                    "C:\\Winpack\\Archive\\Bulls\\Ares\\26120703.TXT", "000001,B"),
       "Winpack/Archive/Bulls/Ares/26120703.TXT"},
      {"copy cut short under its temporary name", true, "", b1.substr(0, 20),
       JournalEntry("C:\\Winpack\\Bulls\\1\\000001.TXT",
                    "C:\\Winpack\\Archive\\Bulls\\Ares\\26120703.TXT", "000001,B"),
       "Winpack/Archive/Bulls/Ares/26120801.TXT"},
      {"entry cut short by a power cut", true, "", b1,
       "S " + kToken + "\r\n#\r\nB C:\\Winpack\\Bulls\\1\\000001.TXT\r\nT C:\\Winpack\\Archive",
       "Winpack/Archive/Bulls/Ares/26120801.TXT"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st(test::kInMemory);
    st.Basics(99999, 0, {"ARES"});
    if (row.bulletinThere) st.Bulletin("000001", "ARES");
    st.Bulletin("000002", "ARES", "another body\r\n");
    st.Write("Winpack/Archive/Bulls/Ares/26120701.TXT", "an older bulletin\r\n");
    if (!row.archived.empty()) st.Write("Winpack/Archive/Bulls/Ares/26120703.TXT", row.archived);
    if (!row.staged.empty()) {
      st.Write(kStaged, row.staged);
    }
    st.Write(kJournal, row.journal);
    st.Write(kMarked, "000001,B\r\n000002,B\r\n");
    test::Runner r(st);
    r.clock = test::FixedClock("08-12-2026");
    r.Run();
    EXPECT_TRUE(r.Finished()) << (r.rec.messages.empty() ? "" : r.rec.messages[0].second);
    EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n");
    EXPECT_FALSE(st.Exists("Winpack/Bulls/1/000001.TXT"));
    EXPECT_EQ(Copies(st, b1), 1);
    EXPECT_EQ(st.Read(row.expectedCopy), b1);
    EXPECT_EQ(Copies(st, test::Station::BulletinText("000002", "ARES", "another body\r\n")), 1);
    EXPECT_FALSE(st.Exists(kJournal));
    EXPECT_FALSE(st.Exists("Winpack/Archive/Bulls/Kelvaron.tmp"));
    EXPECT_EQ(st.Trash().count("000001.TXT"), row.bulletinThere ? 1u : 0u);
  }
}

// Recovery rests on the journal, never on content alone: a bulletin equal to the folder's
// last archive file of the day is another bulletin and gets a copy of its own.
TEST(Interrupted, SameContentIsNotTheSameBulletin) {
  test::Station st(test::kInMemory);
  st.Basics(99999, 0, {"ARES"});
  st.Bulletin("000001", "ARES");
  st.Write("Winpack/Archive/Bulls/Ares/26120701.TXT",
           test::Station::BulletinText("000001", "ARES"));
  st.Write(kMarked, "000001,B\r\n");
  test::Runner r(st);
  r.Run();
  EXPECT_TRUE(r.Finished());
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/26120702.TXT"),
            test::Station::BulletinText("000001", "ARES"));
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n");
}

// A run whose reporter does something behind the run's back when the run shows its nth
// bulletin; on the host's drive C: or on a station's.
struct MeddledRun {
  MeddledRun() = default;
  explicit MeddledRun(const test::Station& st) : drive(st.Drive()) {}

  struct Meddler : test::Recorder {
    std::function<void()> once;
    int nth = 1;
    void SetPanelText(int panel, const std::string& text) override {
      Recorder::SetPanelText(panel, text);
      if (panel == 1 && --nth == 0 && once) std::exchange(once, nullptr)();
    }
  } rec;
  test::FixedClock clock{"07-12-2026"};
  run::DriveSource drive = platform::HostDrive;
  void Run() { run::ArchiveMarkedBulletins(rec, clock, drive); }
};

void TwoBulletins(const test::Station& st) {
  st.Basics(99999, 0, {"ARES"});
  st.Bulletin("000001", "ARES");
  st.Bulletin("000002", "ARES");
  st.Write(kMarked, "000001,B\r\n000002,B\r\n");
}

TEST(TwoRuns, ASecondRunIsRefusedAndChangesNothing) {
  test::Station st;
  TwoBulletins(st);
  MeddledRun first;
  test::Runner second;
  std::map<std::string, std::string> before, after;
  first.rec.once = [&] {
    before = st.Snapshot();
    second.Run();
    after = st.Snapshot();
  };
  first.Run();
  ASSERT_EQ(second.rec.messages.size(), 1u);
  EXPECT_EQ(second.rec.messages[0].first, Kind::kError);
  EXPECT_EQ(second.rec.messages[0].second,
            "The archive run did not start.\nAnother archive run is in progress: it holds "
            "C:\\Winpack\\BULLS\\MARKED.LCK.\nNo bulletin was moved and MARKED.TXT is unchanged.");
  EXPECT_EQ(after, before);
  ASSERT_FALSE(first.rec.messages.empty());
  EXPECT_EQ(first.rec.messages.back().second, run::kFinished);
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n");
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/26120701.TXT"),
            test::Station::BulletinText("000001", "ARES"));
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/26120702.TXT"),
            test::Station::BulletinText("000002", "ARES"));
  EXPECT_FALSE(st.Exists("Winpack/Bulls/MARKED.LCK"));
  second.Run();  // the lock went with the first run
  EXPECT_TRUE(second.Finished());
}

// Winpack appends a line whenever the operator marks a bulletin: here, while the run reads
// the bulletins and as it flushes, also after it has read the list to its end; where the run
// lets go of the list to replace it, or the list keeps one name and the old list goes with
// its replacement, also in that instant, before each rename.
TEST(TwoRuns, LinesWinpackAppendsDuringARunAreKept) {
  for (const bool oneName : {false, true}) {
    SCOPED_TRACE(oneName ? "a file keeps one name" : "this system's disk");
    // Where the run can neither give the old list a second name nor hold it through the
    // replacement, a line written in that instant is lost.
    if (!oneName && !test::CanMakeHardLinks() && !test::OpenFilesCanBeReplaced()) continue;
    std::optional<test::Station> station;
    if (oneName) {
      station.emplace(test::kInMemory);
      station->Disk()->KeepOneNameAFile();
    } else {
      station.emplace();
    }
    const test::Station& st = *station;
    TwoBulletins(st);
    MeddledRun r(st);
    std::string appended;
    int lines = 0;
    const auto append = [&] {
      const std::string line = std::to_string(990000 + lines++) + ",B,WX    \r\n";
      st.Append(kMarked, line);
      appended += line;
    };
    r.rec.once = append;
    platform::faults::Reset();
    int syncs = 0;
    platform::faults::BeforeEach(platform::faults::Op::kSync, [&] {
      if (++syncs <= 3) append();  // the last of them after the list was read to its end
    });
    int renames = 0;
    if (oneName || !test::OpenFilesCanBeReplaced()) {
      platform::faults::BeforeEach(platform::faults::Op::kRename, [&] {
        if (++renames <= 4) append();
      });
    }
    r.Run();
    platform::faults::Reset();
    ASSERT_FALSE(r.rec.messages.empty());
    EXPECT_EQ(r.rec.messages.back().second, run::kFinished);
    EXPECT_GE(appended.size(), 17u * 4);
    EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n" + appended);
  }
}

// A Winpack that writes in the very instant of every replacement: what it wrote in the last
// one is never appended to the list in place, where it could meet Winpack's own append, but
// kept under the second name for the next run, which the run says.
TEST(TwoRuns, LinesWrittenAtEveryReplacementWaitForTheNextRun) {
  if (!test::CanMakeHardLinks() && !test::OpenFilesCanBeReplaced()) {
    GTEST_SKIP() << "the old list has no second name, and the run cannot hold it";
  }
  test::Station st;
  TwoBulletins(st);
  std::string appended;
  platform::faults::Reset();
  platform::faults::BeforeEach(platform::faults::Op::kRename, [&] {
    const std::string line = std::to_string(990000 + appended.size() / 17) + ",B,WX    \r\n";
    std::ofstream(st.Host(kMarked), std::ios::app | std::ios::binary) << line;
    appended += line;
  });
  test::Runner r;
  r.Run();
  platform::faults::Reset();
  const std::string said = r.Error();
  EXPECT_NE(said.find("for longer than the run could wait: what it wrote there is kept in "
                      "C:\\Winpack\\BULLS\\MARKED.WA"),
            std::string::npos)
      << said;
  const std::string list = st.Read(kMarked);
  EXPECT_EQ(list, ("000001,KB\r\n000002,KB\r\n" + appended).substr(0, list.size()));
  EXPECT_LT(list.size(), 22 + appended.size());
  r.Run();
  EXPECT_TRUE(r.Finished()) << r.Error();
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n" + appended);
  EXPECT_FALSE(st.Exists("Winpack/Bulls/MARKED.WAS") || st.Exists("Winpack/Bulls/MARKED.WA2"));
}

// Where both second names are taken by files no journal accounts for, the lines of the old
// list the run held through its replacement are carried in memory only: what Winpack wrote
// in the last of the rounds is shown, not lost unsaid.
TEST(TwoRuns, LinesNoFileCanKeepAreShown) {
  test::Station st(test::kInMemory);
  st.Disk()->KeepOneNameAFile();
  TwoBulletins(st);
  st.Write("Winpack/Bulls/MARKED.WAS", "someone's\r\n");
  st.Write("Winpack/Bulls/MARKED.WA2", "someone else's\r\n");
  std::vector<std::string> appended;
  st.Disk()->BeforeEachReplace([&] {
    appended.push_back(std::to_string(990000 + appended.size()) + ",B");
    st.Disk()->Append("C:\\Winpack\\Bulls\\MARKED.TXT", appended.back() + "\r\n");
  });
  test::Runner r(st);
  r.Run();
  ASSERT_EQ(r.rec.messages.size(), 3u);
  EXPECT_EQ(r.rec.messages[1], std::make_pair(Kind::kWarning,
                                              "Winpack wrote these lines to MARKED.TXT in the "
                                              "instant the run replaced it, and the run could "
                                              "neither put them into the new list nor keep them "
                                              "in a file of their own, so they are shown here "
                                              "for you to mark again:\n" +
                                                  appended.back()));
  EXPECT_EQ(r.rec.messages[2].second, run::kFinished);
  appended.pop_back();
  std::string list = "000001,KB\r\n000002,KB\r\n";
  for (const std::string& line : appended) list += line + "\r\n";
  EXPECT_EQ(st.Read(kMarked), list);
}

// A list that another program put in place is left as it is; the trace of the run gives the
// K marks at the next run.
TEST(TwoRuns, AListPutInPlaceDuringARunIsNotReplaced) {
  test::Station st(test::kInMemory);
  TwoBulletins(st);
  MeddledRun r(st);
  const std::string theirs = "000001,B\r\n000002,B\r\n000004,B\r\n";
  r.rec.once = [&] {
    st.Write("Winpack/Bulls/THEIRS.TMP", theirs);
    st.Rename("Winpack/Bulls/THEIRS.TMP", kMarked);
  };
  r.Run();
  ASSERT_EQ(r.rec.messages.size(), 1u);
  EXPECT_EQ(r.rec.messages[0].second,
            "The marked list could not be rewritten.\n"
            "C:\\Winpack\\BULLS\\MARKED.TXT: another program put a new list in its place "
            "during the run\nMARKED.TXT is unchanged. 2 bulletins had already been archived; "
            "their lines carry no K mark yet, and the next run gives them their K mark.");
  EXPECT_EQ(st.Read(kMarked), theirs);
  EXPECT_FALSE(st.Exists("Winpack/Bulls/1/000001.TXT"));
  test::Runner next(st);
  next.Run();
  EXPECT_TRUE(next.Finished());
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n000004,B\r\n");
  EXPECT_EQ(Copies(st, test::Station::BulletinText("000001", "ARES")), 1);
  EXPECT_EQ(Copies(st, test::Station::BulletinText("000002", "ARES")), 1);
}

// Two runs in a row cannot put their list in place; the second finishes the first one's
// bulletin and archives one of its own. Each tells what the next run does, and it does: the
// claim of the first run outlives the second run's journal.
TEST(TwoRuns, TheClaimsOfEveryRunNotFinishedAreKept) {
  test::Station st(test::kInMemory);
  st.Basics(99999, 0, {"ARES"});
  st.Bulletin("000001", "ARES");
  st.Write(kMarked, "000001,B\r\n");
  const std::string theirs = "000001,B\r\n000002,B\r\n";
  const std::string notYet =
      "C:\\Winpack\\BULLS\\MARKED.TXT: another program put a new list in "
      "its place during the run\nMARKED.TXT is unchanged. ";
  struct Row {
    const char* name;
    const char* date;
    const char* arrives;  // a bulletin Winpack receives before the run, or nothing
    std::string said;
  } rows[] = {
      {"the first run", "07-12-2026", nullptr,
       notYet + "1 bulletin had already been archived; its line carries no K mark yet, and the "
                "next run gives it its K mark."},
      {"the second run", "08-12-2026", "000002",
       notYet + "2 bulletins had already been archived; their lines carry no K mark yet, and "
                "the next run gives them their K mark."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.arrives != nullptr) st.Bulletin(row.arrives, "ARES");
    MeddledRun r(st);
    r.clock = test::FixedClock(row.date);
    r.rec.once = [&] {
      st.Write("Winpack/Bulls/THEIRS.TMP", theirs);
      st.Rename("Winpack/Bulls/THEIRS.TMP", kMarked);
    };
    r.Run();
    ASSERT_EQ(r.rec.messages.size(), 1u);
    EXPECT_EQ(r.rec.messages[0].second, "The marked list could not be rewritten.\n" + row.said);
    EXPECT_EQ(st.Read(kMarked), theirs);
    EXPECT_TRUE(st.Exists(kJournal));
  }
  for (const char* number : {"000001", "000002"}) {
    EXPECT_FALSE(st.Exists("Winpack/Bulls/" + std::string(number + 5) + "/" + number + ".TXT"));
    EXPECT_EQ(Copies(st, test::Station::BulletinText(number, "ARES")), 1) << number;
  }
  test::Runner next(st);
  next.clock = test::FixedClock("09-12-2026");
  next.Run();
  EXPECT_TRUE(next.Finished()) << next.Error();
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n");
  EXPECT_EQ(Copies(st, test::Station::BulletinText("000001", "ARES")), 1);
  EXPECT_EQ(Copies(st, test::Station::BulletinText("000002", "ARES")), 1);
  EXPECT_FALSE(st.Exists(kJournal));
  EXPECT_FALSE(st.Exists("Winpack/Archive/Bulls/Kelvaron.tmp"));
}

// Links in Winpack's tree are the operator's layout (a bulletin folder or the archive kept on
// another disk) and are followed.
TEST(Links, TheOperatorsLinksAreFollowed) {
  if (!test::CanMakeSymlinks()) GTEST_SKIP() << "no symbolic links here";
  test::Station st;
  st.Basics(99999, 0, {"ARES"});
  st.Write("other disk/9/000009.TXT", test::Station::BulletinText("000009", "ARES"));
  fs::create_symlink(st.Host("other disk/9"), st.Host("Winpack/Bulls/9"));
  st.MakeDir("archive disk");
  fs::create_symlink(st.Host("archive disk"), st.Host("Winpack/Archive/Bulls/Ares"));
  st.Write(kMarked, "000009,B\r\n");
  test::Runner r;
  r.Run();
  EXPECT_TRUE(r.Finished()) << r.Error();
  EXPECT_EQ(st.Read("archive disk/26120701.TXT"), test::Station::BulletinText("000009", "ARES"));
  EXPECT_FALSE(st.Exists("other disk/9/000009.TXT"));
  EXPECT_EQ(st.Read(kMarked), "000009,KB\r\n");
}

TEST(Groups, NamesWindowsCannotHoldAreLeftAndReported) {
  test::Station st(test::kInMemory);
  st.Basics(99999, 0, {"CON", "WX.", " WX", "...", "COM1", "ARES"});
  st.Bulletin("000001", "CON");
  st.Bulletin("000002", "WX.");
  st.Bulletin("000003", " WX");
  st.Bulletin("000004", "ARES");
  st.Bulletin("000005", "WX");  // not listed: a leading blank matches only as listed, and
                                // Windows holds a folder " wx"
  st.Write(kMarked, "000001,B\r\n000002,B\r\n000003,B\r\n000004,B\r\n000005,B\r\n");
  test::Runner r(st);
  r.Run();
  ASSERT_EQ(r.rec.messages.size(), 2u);
  EXPECT_EQ(r.rec.messages[0],
            std::make_pair(Kind::kWarning,
                           std::string("These bulletins were not archived because their group "
                                       "cannot be a folder name on Windows; they stay where "
                                       "they are and their lines are unchanged:\n"
                                       "C:\\Winpack\\Bulls\\1\\000001.TXT (group \"CON\")\n"
                                       "C:\\Winpack\\Bulls\\2\\000002.TXT (group \"WX.\")")));
  EXPECT_EQ(r.rec.messages[1].second, run::kFinished);
  EXPECT_EQ(st.Read(kMarked), "000001,B\r\n000002,B\r\n000003,KB\r\n000004,KB\r\n000005,B\r\n");
  std::vector<std::string> folders = st.EntriesIn("Winpack/Archive/Bulls");
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<std::string>{" wx", "Ares"}));
}

// A file the run writes that is a link is not written through to what it points at.
TEST(Links, ALinkedMarkedTmpIsNotWrittenThrough) {
  if (!test::CanMakeSymlinks()) GTEST_SKIP() << "no symbolic links here";
  test::Station st;
  st.Basics(99999, 0, {"ARES"});
  st.Write("Winpack/Bulls/MARKED.TXT", "000101,B,ARES \r\n");
  const std::string outside = st.root + "/outside.txt";
  std::ofstream(outside, std::ios::binary) << "precious";
  fs::create_symlink(outside, st.Host("Winpack/Bulls/MARKED.TMP"));
  test::Runner r;
  r.Run();
  std::ifstream in(outside, std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "precious");
  EXPECT_FALSE(fs::is_symlink(st.Host("Winpack/Bulls/MARKED.TXT")));
}

// A name the run writes, removes or locks that is a link to a file outside the station:
// the link itself goes (or is left, or the run stops at it), and the file it leads to stays
// as it was. Under Wine a link to a file looks like the file itself, and a delete or a rename
// by its name reaches the file it leads to.
TEST(Links, NoFileOutsideTheStationIsRemovedThroughALink) {
  const std::string b1 = test::Station::BulletinText("000001", "ARES");
  const std::string whole =
      JournalEntry("C:\\Winpack\\Bulls\\1\\000001.TXT",
                   "C:\\Winpack\\Archive\\Bulls\\Ares\\26120703.TXT", "000001,B");
  struct Row {
    const char* name;
    std::string link;          // below drive_c
    std::string journal = "";  // an interrupted run's, or none
    std::string error = "";    // the run's one message; none: it completes
    bool warned = false;       // it completes with a warning that names the link
  } rows[] = {
      {"the new list", "Winpack/Bulls/MARKED.TMP", ""},
      // No journal says what of it the list holds: it is left for the operator to look at.
      {"the old list's second name", "Winpack/Bulls/MARKED.WAS", "", "", true},
      // The earlier entry still counts: the journal is written anew under MARKED.JNW.
      {"the new journal", "Winpack/Bulls/MARKED.JNW", whole},
      {"a staged copy whose prefix the journal claims", kStaged, "S " + kToken + "\r\n"},
      {"the run lock", "Winpack/Bulls/MARKED.LCK", "",
       "The archive run did not start.\nC:\\Winpack\\BULLS\\MARKED.LCK: not an ordinary "
       "file\nNo bulletin was moved and MARKED.TXT is unchanged."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st;
    TwoBulletins(st);
    if (!row.journal.empty()) st.Write(kJournal, row.journal);
    if (row.journal == whole) st.Write("Winpack/Archive/Bulls/Ares/26120703.TXT", b1);
    st.Write("outside.txt", "precious");
    st.MakeDir(row.link.substr(0, row.link.rfind('/')));
    if (!test::MakeFileLink(st.Host("outside.txt"), st.Host(row.link))) {
      GTEST_SKIP() << "no symbolic links to files here";
    }
    const std::string list = st.Read(kMarked);
    test::Runner r;
    r.Run();
    EXPECT_EQ(st.Read("outside.txt"), "precious");
    if (row.warned) {
      ASSERT_EQ(r.rec.messages.size(), 2u);
      EXPECT_EQ(r.rec.messages[0].first, run::Reporter::Kind::kWarning);
      EXPECT_NE(r.rec.messages[0].second.find("MARKED.WAS"), std::string::npos);
      EXPECT_EQ(r.rec.messages[1].second, run::kFinished);
    }
    if (row.error.empty()) {
      if (!row.warned) {
        EXPECT_TRUE(r.Finished()) << r.Error();
      }
      EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n");
      EXPECT_EQ(Copies(st, b1), 1);
    } else {
      EXPECT_EQ(r.Error(), row.error);
      EXPECT_EQ(st.Read(kMarked), list);
      EXPECT_TRUE(st.Exists("Winpack/Bulls/1/000001.TXT") &&
                  st.Exists("Winpack/Bulls/2/000002.TXT"));
    }
    test::RemoveFileLink(st.Host(row.link));
    std::error_code ec;
    fs::remove(st.Host("outside.txt"), ec);
  }
}

// A file in the trash's files/ folder without its .trashinfo keeps its name.
TEST(Trash, NeverOverwritesAFileAlreadyThere) {
  if (!test::HasFreedesktopTrash()) GTEST_SKIP() << "the trash keeps names of its own";
  test::Station st;
  st.Basics(99999, 0, {"ARES"});
  st.Bulletin("000101", "ARES");
  st.Write("Winpack/Bulls/MARKED.TXT", "000101,B,ARES \r\n");
  fs::create_directories(st.trash + "/files");
  fs::create_directories(st.trash + "/info");
  std::ofstream(st.trash + "/files/000101.TXT", std::ios::binary) << "older file";
  test::Runner r;
  r.Run();
  bool kept = false;
  for (const auto& [path, content] : st.Snapshot()) kept = kept || content == "older file";
  EXPECT_TRUE(kept);
}

// A power cut after the journal and the copy were made durable, before the copy got its name;
// Winpack then prunes the bulletin before Kelvaron runs again. The copy under its temporary
// name may be the last one there is: it is kept, and the run says where. Once the user has
// named it back, it is the user's: never removed, always named.
TEST(Interrupted, TheLastCopyOfAPrunedBulletinIsKept) {
  const std::string staged =
      "C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp\\" + kToken + "-Ares-26120703.TXT";
  // Where its .kept name is taken, the next one free.
  for (const bool keptTaken : {false, true}) {
    SCOPED_TRACE(keptTaken ? "the .kept name taken" : "set aside");
    test::Station st(test::kInMemory);
    st.Basics(99999, 0, {"ARES"});
    const std::string b1 = test::Station::BulletinText("000001", "ARES");
    st.Write(kStaged, b1);
    st.Write(kJournal, JournalEntry("C:\\Winpack\\Bulls\\1\\000001.TXT",
                                    "C:\\Winpack\\Archive\\Bulls\\Ares\\26120703.TXT", "000001,B"));
    st.Write(kMarked, "000001,B\r\n");
    if (keptTaken) st.Write(kStaged + ".kept", "set aside before");
    const std::string suffix = keptTaken ? ".2.kept" : ".kept";
    const std::string keptAs = kStaged + suffix;
    test::Runner r(st);
    r.clock = test::FixedClock("08-12-2026");
    r.Run();
    EXPECT_EQ(Copies(st, b1), 1);
    EXPECT_EQ(st.Read(keptAs), b1);
    ASSERT_EQ(r.rec.messages.size(), 2u);
    EXPECT_NE(
        r.rec.messages[0].second.find(staged + suffix + " (of C:\\Winpack\\Bulls\\1\\000001.TXT)"),
        std::string::npos)
        << r.rec.messages[0].second;
    EXPECT_EQ(r.rec.messages[1].second, run::kFinished);
    if (keptTaken) {
      EXPECT_EQ(st.Read(kStaged + ".kept"), "set aside before");
      continue;
    }
    r.Run();  // a later run leaves the copy set aside where it is, and says nothing of it
    EXPECT_TRUE(st.Exists(kStaged + ".kept"));
    EXPECT_TRUE(r.Finished());
    st.Rename(kStaged + ".kept", kStaged);
    st.Write("Winpack/Archive/Bulls/Kelvaron.tmp/notes.txt", "the operator's");
    r.Run();
    EXPECT_EQ(st.Read(kStaged), b1);
    ASSERT_EQ(r.rec.messages.size(), 2u);
    for (const std::string& file : {staged, std::string("Kelvaron.tmp\\notes.txt")}) {
      EXPECT_NE(r.rec.messages[0].second.find(file), std::string::npos) << r.rec.messages[0].second;
    }
  }
}

// A copy set aside outlives the runs after it under the name the warning gave: one whose
// rename fails (a full disk) stays under its own name, and a run whose journal goes on
// claiming the copy's prefix for another copy leaves it too.
TEST(Interrupted, ASetAsideCopyOutlivesTheRunsAfterIt) {
  struct Row {
    const char* what;
    bool renameFails, keptTaken;
    std::string keptAs;
  };
  const std::string staged =
      "C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp\\" + kToken + "-Ares-26120703.TXT";
  const std::string b1 = test::Station::BulletinText("000001", "ARES");
  const std::string b2 = test::Station::BulletinText("000002", "ARES", "second body\r\n");
  for (const Row& row : {Row{"its rename fails", true, false, ""},
                         Row{"its prefix claimed for another copy", false, true, ".2.kept"}}) {
    SCOPED_TRACE(row.what);
    test::Station st(test::kInMemory);
    st.Basics(99999, 0, {"ARES"});
    st.Bulletin("000002", "ARES", "second body\r\n");
    st.Write(kStaged, b1);
    if (row.keptTaken) st.Write(kStaged + ".kept", "set aside before");
    // 000002's whole copy keeps the journal's claim on the prefix through the first run.
    st.Write("Winpack/Archive/Bulls/Ares/26120704.TXT", b2);
    st.Write(kJournal,
             JournalEntry("C:\\Winpack\\Bulls\\1\\000001.TXT",
                          "C:\\Winpack\\Archive\\Bulls\\Ares\\26120703.TXT", "000001,B") +
                 JournalEntry("C:\\Winpack\\Bulls\\2\\000002.TXT",
                              "C:\\Winpack\\Archive\\Bulls\\Ares\\26120704.TXT", "000002,B"));
    st.Write(kMarked, "000001,B\r\n000002,B\r\n");
    test::Runner r(st);
    r.clock = test::FixedClock("08-12-2026");
    platform::faults::Reset();
    if (row.renameFails) platform::faults::FailNth(platform::faults::Op::kRename, 1, ENOSPC);
    r.Run();
    platform::faults::Reset();
    ASSERT_FALSE(r.rec.messages.empty());
    EXPECT_NE(r.rec.messages[0].second.find(staged + row.keptAs + " (of"), std::string::npos)
        << r.rec.messages[0].second;
    EXPECT_EQ(st.Read(kStaged + row.keptAs), b1);
    r.Run();
    EXPECT_EQ(st.Read(kStaged + row.keptAs), b1) << "after the next run";
  }
}

// A copy an interrupted run staged cannot be removed (the archive is read-only for a moment):
// the run goes on, the journal keeps claiming the copy, and the run after it removes the copy
// and the staging folder, never calling it someone else's.
TEST(Interrupted, AStagedCopyThatCannotBeRemovedStaysClaimed) {
  test::Station st(test::kInMemory);
  TwoBulletins(st);
  st.Write(kStaged, "half a bul");
  st.Write(kJournal, "S " + kToken + "\r\n");
  platform::faults::Reset();
  platform::faults::FailNth(platform::faults::Op::kRemove, 1, EROFS);
  test::Runner r(st);
  r.Run();
  platform::faults::Reset();
  EXPECT_TRUE(r.Finished()) << r.Error();
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n");
  EXPECT_EQ(st.Read(kStaged), "half a bul");
  EXPECT_EQ(st.Read(kJournal), "S " + kToken + "\r\n");
  r.Run();
  EXPECT_TRUE(r.Finished()) << r.rec.messages.at(0).second;
  EXPECT_FALSE(st.Exists(kJournal));
  EXPECT_FALSE(st.Exists("Winpack/Archive/Bulls/Kelvaron.tmp"));
}

// A run that finishes an interrupted run's bulletins and then stops counts every bulletin whose
// line it marked: the one it sent to the trash and the one already gone.
TEST(Interrupted, AStoppedRunCountsTheBulletinsItFinished) {
  test::Station st(test::kInMemory);
  st.Basics(99999, 0, {"ARES", "WX"});
  const std::string b1 = test::Station::BulletinText("000001", "ARES");
  st.Bulletin("000001", "ARES");
  st.Write("Winpack/Archive/Bulls/Ares/26120701.TXT", b1);
  st.Write("Winpack/Archive/Bulls/Ares/26120702.TXT", "a copy of 000003");
  st.Write(kJournal,
           JournalEntry("C:\\Winpack\\Bulls\\1\\000001.TXT",
                        "C:\\Winpack\\Archive\\Bulls\\Ares\\26120701.TXT", "000001,B") +
               JournalEntry("C:\\Winpack\\Bulls\\3\\000003.TXT",
                            "C:\\Winpack\\Archive\\Bulls\\Ares\\26120702.TXT", "000003,B"));
  st.Bulletin("000002", "WX");
  st.Write("Winpack/Archive/Bulls/Wx", "a file where the group folder would be");
  st.Write(kMarked, "000001,B\r\n000003,B\r\n000002,B\r\n");
  test::Runner r(st);
  r.Run();
  ASSERT_EQ(st.Read(kMarked), "000001,KB\r\n000003,KB\r\n000002,B\r\n");
  EXPECT_NE(r.Error().find("2 bulletins had been archived before it and are marked K"),
            std::string::npos)
      << r.Error();
}

// A journal ending in an entry cut short by a power cut is followed by this run's entries;
// this run cannot replace MARKED.TXT and leaves the K marks to the next, which must read them.
TEST(Interrupted, AJournalAppendedAfterACutEntryStaysReadable) {
  test::Station st(test::kInMemory);
  TwoBulletins(st);
  st.Write(kJournal,
           "S " + kToken + "\r\n#\r\nB C:\\Winpack\\Bulls\\3\\000003.TXT\r\nT C:\\Winpack\\Arch");
  MeddledRun first(st);
  first.rec.once = [&] {
    st.Write("Winpack/Bulls/THEIRS.TMP", "000001,B\r\n000002,B\r\n");
    st.Rename("Winpack/Bulls/THEIRS.TMP", kMarked);
  };
  first.Run();
  ASSERT_NE(first.rec.messages.at(0).second.find("the next run gives them their K mark"),
            std::string::npos);
  test::Runner next(st);
  next.Run();
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n");
}

// Winpack prunes a bulletin after the run copied it and before its batch goes to the trash:
// no message may say it is still in Winpack's folder.
TEST(TwoRuns, ABulletinGoneBeforeTheTrashIsNotSaidToBeThere) {
  test::Station st(test::kInMemory);
  TwoBulletins(st);
  MeddledRun r(st);
  r.rec.nth = 2;
  r.rec.once = [&] { st.Remove("Winpack/Bulls/1/000001.TXT"); };
  r.Run();
  ASSERT_FALSE(r.rec.messages.empty());
  for (const auto& [kind, text] : r.rec.messages) {
    EXPECT_EQ(text.find("still in Winpack's folder"), std::string::npos) << text;
  }
}

// Winpack may write a line in two pieces; the run takes it only whole.
TEST(TwoRuns, ALineWinpackWritesInTwoPiecesIsNotTorn) {
  test::Station st;
  TwoBulletins(st);
  MeddledRun r;
  std::thread second;
  r.rec.once = [&] {
    std::ofstream(st.Host(kMarked), std::ios::app | std::ios::binary) << "000300,B";
    second = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      std::ofstream(st.Host(kMarked), std::ios::app | std::ios::binary) << ",WX    \r\n";
    });
  };
  r.Run();
  second.join();
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n000300,B,WX    \r\n");
}

// A journal is data, not orders: only entries of the shape a run writes are acted on, and a
// journal that is not a plain file is not read at all.
TEST(Interrupted, AJournalIsTrustedOnlyForWhatARunWrites) {
  const std::string b1 = test::Station::BulletinText("000001", "ARES");
  const std::string bull = "C:\\Winpack\\Bulls\\1\\000001.TXT";
  const std::string copy = "C:\\Winpack\\Archive\\Bulls\\Ares\\26120701.TXT";
  struct Row {
    const char* name;
    std::string journal;
    bool link = false;  // MARKED.JNL a symbolic link to the journal: someone else's file
  } rows[] = {
      {"a system file as the bulletin",
       JournalEntry("C:\\windows\\win.ini", "C:\\windows\\win.ini", "000001,B")},
      {"Winpack's settings", JournalEntry("C:\\Winpack\\Packet.ini", copy, "000001,B")},
      {"the marked list itself", JournalEntry("C:\\Winpack\\BULLS\\MARKED.TXT", copy, "000001,B")},
      {"the bulletin as its own copy", JournalEntry(bull, bull, "000001,B")},
      {"a copy outside the archive", JournalEntry(bull, "C:\\Winpack\\Packet.ini", "000001,B")},
      {"a copy in the staging folder",
       JournalEntry(bull, "C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp\\x.TXT", "000001,B")},
      {"a line of another bulletin", JournalEntry(bull, copy, "000002,B")},
      {"a staged name of no run", "#\r\nB " + bull +
                                      "\r\nT C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp\\x\r\nA " +
                                      copy + "\r\nL 000001,B\r\n"},
      {"a journal that is a link", JournalEntry(bull, copy, "000001,B"), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st;
    TwoBulletins(st);
    st.Write("windows/win.ini", b1);
    st.Write("Winpack/Archive/Bulls/Ares/26120701.TXT", b1);
    st.Write(row.link ? "elsewhere.jnl" : kJournal, row.journal);
    if (row.link && !test::MakeFileLink(st.Host("elsewhere.jnl"), st.Host(kJournal))) continue;
    const std::string ini = st.Read("Winpack/Packet.ini");
    test::Runner r;
    r.Run();
    EXPECT_TRUE(r.Finished()) << r.Error();
    EXPECT_EQ(st.Read("windows/win.ini"), b1);
    EXPECT_EQ(st.Read("Winpack/Packet.ini"), ini);
    EXPECT_TRUE(st.Trash().count("win.ini") == 0 && st.Trash().count("Packet.ini") == 0);
    // 000001 is archived as usual: a copy of its own beside the older one, and its K mark.
    EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/26120702.TXT"), b1);
    EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n");
  }
}

// A marked line may read anything, "#" too; its journal entry still reads back.
TEST(Interrupted, AnyMarkedLineIsJournalledSafely) {
  test::Station st(test::kInMemory);
  st.Basics(99999, 0, {"ARES"});
  const std::string b = test::Station::BulletinText("#", "ARES");
  st.Write("Winpack/Bulls/#/#.TXT", b);
  st.Write("Winpack/Archive/Bulls/Ares/26120703.TXT", b);
  st.Write(kJournal, JournalEntry("C:\\Winpack\\Bulls\\#\\#.TXT",
                                  "C:\\Winpack\\Archive\\Bulls\\Ares\\26120703.TXT", "#"));
  st.Write(kMarked, "#\r\n");
  test::Runner r(st);
  r.clock = test::FixedClock("08-12-2026");
  r.Run();
  EXPECT_TRUE(r.Finished()) << r.Error();
  EXPECT_EQ(st.Read(kMarked), "#,K\r\n");
  EXPECT_EQ(Copies(st, b), 1);
}

}  // namespace

namespace {

// Another program writing MARKED.TXT during a run: one that keeps it open and appends, or one
// that opens it, appends a line and closes it again, a line each millisecond.
struct Writer {
  std::string path;
  bool keepOpen;
  std::atomic<bool> stop{false};
  std::atomic<bool> begun{false};
  std::string written{};
  std::thread thread{};

  // Returns once the first line is written (and the list held, when kept open): a thread
  // that started late could find the run already ended, and the case would show nothing.
  void Start() {
    thread = std::thread([this] {
      std::ofstream held;
      if (keepOpen) held.open(path, std::ios::app | std::ios::binary);
      for (int i = 0; !stop; ++i) {
        const std::string line = std::to_string(700000 + i) + ",B,WX    \r\n";
        if (keepOpen) {
          held << line << std::flush;
        } else {
          std::ofstream(path, std::ios::app | std::ios::binary) << line;
        }
        written += line;
        begun = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    while (!begun) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  void Stop() {
    stop = true;
    thread.join();
  }
};

// A run during which the writer writes, which it goes on doing for a moment after.
test::Recorder RunBeside(Writer& writer) {
  MeddledRun r;
  r.rec.once = [&] { writer.Start(); };
  r.Run();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  writer.Stop();
  return r.rec;
}

// Each line the writer wrote stands in the list once.
void ExpectEachLineOnce(const Writer& writer, const std::string& list) {
  std::istringstream lines(writer.written);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = list.find(line + "\n");
    EXPECT_TRUE(at != std::string::npos && list.find(line + "\n", at + 1) == std::string::npos)
        << line << " in\n"
        << list;
  }
}

}  // namespace

// No line another program writes is lost: a list held open is not replaced (the writer would
// go on writing into the old file), and what is written while the run replaces it is carried
// over.
TEST(TwoRuns, NoLineAnotherProgramWritesIsLost) {
  for (const bool keepOpen : {true, false}) {
    SCOPED_TRACE(keepOpen ? "kept open" : "opened for each line");
    // Where the run cannot hold the new list while it carries lines over to it, a writer
    // that finds the list's end just before the run appends may write over what the run
    // appended (the C runtime appends so). The carrying over itself is shown by the test
    // above, at known moments.
    if (!keepOpen && !test::OpenFilesCanBeReplaced()) continue;
    test::Station st;
    TwoBulletins(st);
    Writer writer{st.Host(kMarked), keepOpen};
    const test::Recorder rec = RunBeside(writer);
    const std::string list = st.Read(kMarked);
    ASSERT_GT(writer.written.size(), 0u);
    if (test::OpenFilesCanBeReplaced()) {
      EXPECT_NE(list.find(writer.written), std::string::npos) << list;
    } else {
      // The run cannot hold the list through its replacement: a line written to the new list
      // may come before those it carries over from the old one. Each is there once.
      ExpectEachLineOnce(writer, list);
    }
    const std::string said = rec.messages.empty() ? "" : rec.messages.back().second;
    if (said != run::kFinished) {
      EXPECT_NE(said.find("MARKED.TXT is unchanged"), std::string::npos) << said;
      EXPECT_EQ(list.substr(0, 20), "000001,B\r\n000002,B\r\n");
    }
    if (keepOpen) {
      EXPECT_NE(said, run::kFinished);
    }
    test::Runner next;
    next.Run();
    EXPECT_TRUE(next.Finished()) << next.Error();
    EXPECT_EQ(st.Read(kMarked).substr(0, 22), "000001,KB\r\n000002,KB\r\n");
  }
}

// A list of another user's (Winpack run under another account): nothing in the replacement
// depends on owning it, and no line written meanwhile is lost or doubled.
TEST(TwoRuns, NoLineIsLostFromAListOfAnotherUser) {
  for (const bool keepOpen : {false, true}) {
    SCOPED_TRACE(keepOpen ? "kept open" : "opened for each line");
    test::Station st;
    TwoBulletins(st);
    if (!test::GiveToAnotherUser(st.Host(kMarked))) GTEST_SKIP() << "no other user to give it";
    Writer writer{st.Host(kMarked), keepOpen};
    RunBeside(writer);
    test::Runner next;
    next.Run();
    EXPECT_TRUE(next.Finished()) << next.Error();
    const std::string list = st.Read(kMarked);
    EXPECT_EQ(list.substr(0, 22), "000001,KB\r\n000002,KB\r\n");
    ExpectEachLineOnce(writer, list);
  }
}

namespace {

const std::string kWas = "Winpack/Bulls/MARKED.WAS";

// The marked list of TwoBulletins, its 20 bytes as a stopped run read them.
const std::string kOld = "000001,B\r\n000002,B\r\n";
const std::string kLate = "000500,B,WX    \r\n";  // what Winpack wrote in the instant

std::string Note(std::uint64_t carried, std::uint64_t at) {
  return "W MARKED.WAS " + std::to_string(carried) + " " + std::to_string(at) + " .\r\n";
}

}  // namespace

// A run stopped between giving the old list its second name MARKED.WAS and carrying over
// what Winpack wrote to it in the instant: the next run finishes by what the journal noted,
// and never removes a second name unread.
TEST(Interrupted, AnOldListsSecondNameIsFinishedByItsNote) {
  if (!test::CanMakeHardLinks()) GTEST_SKIP() << "no hard links here";
  struct Row {
    const char* name;
    std::function<void(test::Station&)> leave;  // MARKED.TXT, MARKED.WAS and the journal
    std::string list;                           // afterwards
    bool wasStays;
    std::string said;  // in the run's first message; "" for a run that completed
  } rows[] = {
      {"the list's own second name (stopped before the replacement)",
       [](test::Station& st) {
         st.Write(kMarked, kOld);
         fs::create_hard_link(st.Host(kMarked), st.Host(kWas));
         st.Write(kJournal, Note(20, 20));
       },
       "000001,KB\r\n000002,KB\r\n", false, ""},
      {"a line to carry",
       [](test::Station& st) {
         st.Write(kWas, kOld + kLate);
         st.Write(kMarked, kOld);
         st.Write(kJournal, Note(20, 20));
       },
       "000001,KB\r\n000002,KB\r\n" + kLate, false, ""},
      {"a line the list got before a power cut took the note that said so",
       [](test::Station& st) {
         st.Write(kWas, kOld + kLate);
         st.Write(kMarked, kOld + kLate);
         st.Write(kJournal, Note(20, 20));
       },
       "000001,KB\r\n000002,KB\r\n" + kLate, false, ""},
      {"a line the noted list has",
       [](test::Station& st) {
         st.Write(kWas, kOld + kLate);
         st.Write("Winpack/Bulls/MARKED.TMP", kLate + kOld);
         fs::rename(st.Host("Winpack/Bulls/MARKED.TMP"), st.Host(kMarked));
         platform::Files files;
         st.Write(kJournal, Note(20, 0) + "M MARKED.WAS " +
                                files.FileId("C:\\Winpack\\BULLS\\MARKED.TXT") + " .\r\n");
       },
       kLate + "000001,KB\r\n000002,KB\r\n", false, ""},
      {"no note: someone else's file",
       [](test::Station& st) {
         st.Write(kWas, kOld + kLate);
         st.Write(kMarked, kOld);
       },
       "000001,KB\r\n000002,KB\r\n", true,
       "These files beside MARKED.TXT may hold marked lines of an older list, but no journal "
       "of Kelvaron says which of them are in MARKED.TXT, so they are left where they are for "
       "you to look at:\nC:\\Winpack\\BULLS\\MARKED.WAS"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    test::Station st;
    TwoBulletins(st);
    row.leave(st);
    const std::string was = st.Exists(kWas) ? st.Read(kWas) : "";
    test::Runner r;
    r.Run();
    if (row.said.empty()) {
      EXPECT_TRUE(r.Finished()) << r.rec.messages.at(0).second;
    } else {
      ASSERT_EQ(r.rec.messages.size(), 2u);
      EXPECT_EQ(r.rec.messages[0], std::make_pair(Kind::kWarning, row.said));
      EXPECT_EQ(r.rec.messages[1].second, run::kFinished);
    }
    EXPECT_EQ(st.Read(kMarked), row.list);
    EXPECT_EQ(st.Exists(kWas), row.wasStays);
    if (row.wasStays) {
      EXPECT_EQ(st.Read(kWas), was);
    }
    EXPECT_FALSE(st.Exists("Winpack/Bulls/MARKED.WA2"));
  }
}

// A program that keeps the old list open past the run's wait may still write to it: the run
// says so, leaves it for the next run, and that run carries what was written, once: what the
// program wrote after the run, and not again what it wrote before, which the stopped run that
// left the second name had put in the list already.
TEST(Interrupted, AnOldListHeldOpenIsLeftToTheNextRun) {
  test::Station st;
  TwoBulletins(st);
  const std::string after = "000501,B,WX    \r\n";
  st.Write(kWas, kOld + kLate);
  st.Write(kMarked, kOld + kLate);
  st.Write(kJournal, Note(20, 20));
  std::optional<std::ofstream> holder(std::in_place, st.Host(kWas),
                                      std::ios::app | std::ios::binary);
  test::Runner r;
  r.Run();
  ASSERT_EQ(r.rec.messages.size(), 1u);
  EXPECT_EQ(r.Error(),
            "MARKED.TXT was replaced by the new list, but another program kept the old list "
            "open, or went on writing to it, for longer than the run could wait: what it wrote "
            "there is kept in C:\\Winpack\\BULLS\\MARKED.WAS, and the next run puts it into "
            "MARKED.TXT.\n2 bulletins had been archived and are marked K in MARKED.TXT.");
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n" + kLate);
  *holder << after;
  holder.reset();
  r.Run();
  EXPECT_TRUE(r.Finished()) << r.Error();
  EXPECT_EQ(st.Read(kMarked), "000001,KB\r\n000002,KB\r\n" + kLate + after);
  EXPECT_FALSE(st.Exists(kWas));
  EXPECT_FALSE(st.Exists(kJournal));
}

// A bulletin that is a link to a file elsewhere is no file of Winpack's to move: it stays, and
// so does the file it leads to (under Wine the link looks like that file itself).
TEST(Links, ABulletinThatIsALinkStaysWithItsFile) {
  test::Station st;
  TwoBulletins(st);
  const std::string b1 = test::Station::BulletinText("000001", "ARES");
  st.Write("outside.txt", b1);
  fs::remove(st.Host("Winpack/Bulls/1/000001.TXT"));
  if (!test::MakeFileLink(st.Host("outside.txt"), st.Host("Winpack/Bulls/1/000001.TXT"))) {
    GTEST_SKIP() << "no symbolic links to files here";
  }
  test::Runner r;
  r.Run();
  EXPECT_TRUE(r.Finished()) << r.Error();
  EXPECT_EQ(st.Read("outside.txt"), b1);
  EXPECT_EQ(st.Read("Winpack/Bulls/1/000001.TXT"), b1);
  EXPECT_EQ(Copies(st, b1), 0);
  EXPECT_EQ(st.Read(kMarked), "000001,B\r\n000002,KB\r\n");
  test::RemoveFileLink(st.Host("Winpack/Bulls/1/000001.TXT"));
}

// A staged copy that an interrupted run's journal names, when it is a link to a file outside
// the station: set aside as the copy that may be the last, the link moves, if anything, and
// never the file it leads to; the message names where it is.
TEST(Links, AStagedCopyThatIsALinkIsSetAsideWithoutItsFile) {
  test::Station st;
  st.Basics(99999, 0, {"ARES"});
  const std::string b1 = test::Station::BulletinText("000001", "ARES");
  st.Write("outside.txt", b1);
  st.MakeDir("Winpack/Archive/Bulls/Kelvaron.tmp");
  if (!test::MakeFileLink(st.Host("outside.txt"), st.Host(kStaged))) {
    GTEST_SKIP() << "no symbolic links to files here";
  }
  st.Write(kJournal, JournalEntry("C:\\Winpack\\Bulls\\1\\000001.TXT",
                                  "C:\\Winpack\\Archive\\Bulls\\Ares\\26120703.TXT", "000001,B"));
  st.Write(kMarked, "000001,B\r\n");
  test::Runner r;
  r.Run();
  EXPECT_EQ(st.Read("outside.txt"), b1);
  ASSERT_EQ(r.rec.messages.size(), 2u);
  EXPECT_NE(r.rec.messages[0].second.find("\\Kelvaron.tmp\\" + kToken + "-Ares-26120703.TXT"),
            std::string::npos)
      << r.rec.messages[0].second;
  // Where the message says: renamed as itself, or left where Windows would move its file.
  const bool renamed = r.rec.messages[0].second.find("26120703.TXT.kept") != std::string::npos;
  EXPECT_TRUE(st.Exists(kStaged + (renamed ? ".kept" : "")));
  // Under Wine a link shows as the file it leads to: both names go as links, whatever is there.
  for (const char* name : {"", ".kept"}) test::RemoveFileLink(st.Host(kStaged + name));
}

// A MARKED.TXT that leads off drive C: is no list of Winpack's to replace: the run stops
// before it changes anything, and says why.
TEST(Links, AMarkedListThatLeadsOffTheDriveIsLeftAlone) {
  if (!test::CanMakeSymlinks()) GTEST_SKIP() << "no symbolic links here";
  test::Station st;
  TwoBulletins(st);
  const std::string outside = st.root + "/MARKED.TXT";  // beside drive C:, not on it
  std::ofstream(outside, std::ios::binary) << kOld;
  fs::remove(st.Host(kMarked));
  fs::create_symlink(outside, st.Host(kMarked));
  const std::map<std::string, std::string> before = st.Snapshot();
  test::Runner r;
  r.Run();
  // The message names the list with its reason, and says it is unchanged, as the disk shows.
  EXPECT_NE(r.Error().find("MARKED.TXT: it is a link to a file off drive C:"), std::string::npos)
      << r.Error();
  EXPECT_NE(r.Error().find("MARKED.TXT is unchanged."), std::string::npos) << r.Error();
  EXPECT_EQ(st.Snapshot(), before);
  std::ifstream in(outside, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kOld);
}

// MARKED.TXT that is a link is the operator's layout: the file it names is replaced, from
// beside it, and the link stays; nothing else changes there.
TEST(Links, AMarkedListThatIsALinkIsFollowed) {
  if (!test::CanMakeSymlinks()) GTEST_SKIP() << "no symbolic links here";
  test::Station st;
  TwoBulletins(st);
  const std::string target = "Winpack/Lists/MARKED.TXT";
  st.Write(target, kOld);
  st.Write("Winpack/Lists/other.txt", "the operator's");
  fs::remove(st.Host(kMarked));
  fs::create_symlink(st.Host(target), st.Host(kMarked));
  test::Runner r;
  r.Run();
  EXPECT_TRUE(r.Finished()) << r.Error();
  EXPECT_TRUE(fs::is_symlink(st.Host(kMarked)));
  EXPECT_EQ(st.Read(target), "000001,KB\r\n000002,KB\r\n");
  std::vector<std::string> there = st.FilesIn("Winpack/Lists");
  std::sort(there.begin(), there.end());
  EXPECT_EQ(there, (std::vector<std::string>{"MARKED.TXT", "other.txt"}));
  EXPECT_EQ(st.Read("Winpack/Lists/other.txt"), "the operator's");
  for (const char* name : {"MARKED.TMP", "MARKED.WAS", "MARKED.WA2"}) {
    EXPECT_FALSE(st.Exists(std::string("Winpack/Bulls/") + name)) << name;
  }
}
