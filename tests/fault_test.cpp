#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "platform/faults.h"
#include "run/marked_list.h"
#include "run/messages.h"
#include "run/paths.h"
#include "run/run.h"
#include "tests/child.h"
#include "tests/invariants.h"
#include "tests/memory_drive.h"
#include "tests/runner.h"

namespace fs = std::filesystem;
using platform::faults::Op;
using Kind = run::Reporter::Kind;

namespace {

struct Outcome {
  std::vector<std::pair<Kind, std::string>> messages;
  bool finished() const {
    return !messages.empty() &&
           messages.back() == std::make_pair(Kind::kPlain, std::string(run::kFinished));
  }
};

Outcome ArchiveOnce(const char* date = "07-12-2026") {
  test::Runner r;
  r.clock = test::FixedClock(date);
  return {r.Run()};
}

// The same on a station's own drive (one in memory).
Outcome ArchiveOnce(const test::Station& st) {
  test::Runner r(st);
  return {r.Run()};
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// What the messages of a run say against what is on disk: the list unchanged or not, how
// many lines got K marks, which bulletins are still in Winpack's folder beside a copy (all of
// them named, for the run that archived them; a later run names only those it tried).
std::vector<std::string> MessagesAgainstDisk(const test::Station& st, const test::Before& before,
                                             const Outcome& outcome, bool allNamed = true) {
  std::vector<std::string> broken;
  const std::string list = st.Read("Winpack/Bulls/MARKED.TXT");
  const auto oldLines = Split(before.marked), newLines = Split(list);
  int newMarks = 0;
  for (std::size_t i = 0; i < newLines.size() && i < oldLines.size(); ++i) {
    newMarks += run::IsKMarked(newLines[i]) && !run::IsKMarked(oldLines[i]) ? 1 : 0;
  }
  const auto copies = test::ArchiveCopies(st, before);
  const auto now = st.Snapshot();
  int archived = 0;
  std::vector<std::string> besideCopy;  // Windows paths of bulletins still there with a copy
  for (const auto& [path, n] : copies) {
    ++archived;
    if (now.count(path) != 0) {
      std::string win = "C:\\" + path.substr(8);
      std::replace(win.begin(), win.end(), '/', '\\');
      besideCopy.push_back(win);
    }
  }
  std::string all;
  for (const auto& [kind, text] : outcome.messages) all += text + "\n";
  const auto says = [&](const std::string& words) { return all.find(words) != std::string::npos; };

  if (says("MARKED.TXT is unchanged") && list != before.marked) {
    broken.push_back("says MARKED.TXT is unchanged, but it changed");
  }
  if (outcome.finished() && newMarks != archived) {
    broken.push_back("finished with " + std::to_string(archived) + " archived but " +
                     std::to_string(newMarks) + " K marks");
  }
  std::smatch m;
  if (std::regex_search(
          all, m, std::regex("(\\d+) bulletins? had been archived[^.]* and (is|are) marked K"))) {
    if (std::stoi(m[1]) != newMarks)
      broken.push_back("says " + m.str() + "; K marks: " + std::to_string(newMarks));
  }
  if (says("No bulletin had been archived") && (newMarks != 0 || archived != 0)) {
    broken.push_back("says no bulletin was archived");
  }
  if (std::regex_search(all, m, std::regex("(\\d+) bulletins? had already been archived"))) {
    if (std::stoi(m[1]) != archived)
      broken.push_back("says " + m.str() + "; archived: " + std::to_string(archived));
    if (list != before.marked)
      broken.push_back("says the marks are still to come, but the list changed");
  }
  // The bulletins named as refused by the trash are exactly those still beside a copy.
  std::vector<std::string> named;
  bool inList = false;
  for (const std::string& line : Split(all)) {
    const bool item =
        line.rfind("C:\\Winpack\\Bulls\\", 0) == 0 && line.find(".TXT: ") != std::string::npos;
    if (inList && item) named.push_back(line.substr(0, line.find(".TXT: ") + 4));
    inList = (inList && item) || line.find("the trash refused them") != std::string::npos;
  }
  std::sort(named.begin(), named.end());
  std::sort(besideCopy.begin(), besideCopy.end());
  if (allNamed ? named != besideCopy
               : !std::includes(besideCopy.begin(), besideCopy.end(), named.begin(), named.end())) {
    std::string text = "refused by the trash, named:";
    for (const auto& n : named) text += " " + n;
    text += "; beside a copy on disk:";
    for (const auto& n : besideCopy) text += " " + n;
    broken.push_back(text);
  }
  return broken;
}

// After the run that follows a failed, killed or cut run: it completed, told the truth, kept
// everything, finished what was left, and archived nothing twice.
std::vector<std::string> AfterTheNextRun(const test::Station& st, const test::Before& before,
                                         const Outcome& next) {
  std::vector<std::string> broken;
  if (!next.finished()) {
    broken.push_back("the next run did not complete: " +
                     (next.messages.empty() ? std::string() : next.messages[0].second));
  }
  for (const auto& b : MessagesAgainstDisk(st, before, next, false)) {
    broken.push_back("the next run: " + b);
  }
  for (const auto& b : test::Kept(st, before)) broken.push_back("after the next run: " + b);
  for (const auto& [bulletin, n] : test::ArchiveCopies(st, before)) {
    if (n > 1) broken.push_back("archived twice: " + bulletin);
  }
  for (const auto& b : test::Finished(st, before)) broken.push_back("after the next run: " + b);
  return broken;
}

// Checks everything a failed run must leave, then that a second run completes and copies
// nothing twice. Returns the broken guarantees.
std::vector<std::string> CheckAfterFailure(const test::Station& st, const test::Before& before,
                                           const Outcome& first) {
  std::vector<std::string> broken = test::Kept(st, before);
  for (const auto& b : MessagesAgainstDisk(st, before, first)) broken.push_back(b);
  for (const auto& [kind, text] : first.messages) {
    if (kind == Kind::kError &&
        (text.find(":\\") == std::string::npos && text.find('/') == std::string::npos)) {
      broken.push_back("error names no path: " + text);
    }
  }
  const bool failed = !first.messages.empty() && first.messages.front().first == Kind::kError;
  if (failed && first.finished()) broken.push_back("a failure ended in \"Kelvaron is Finnished.\"");
  if (!failed && !first.finished()) broken.push_back("no message at the end of the run");

  platform::faults::Reset();
  for (const auto& b : AfterTheNextRun(st, before, ArchiveOnce(st))) broken.push_back(b);
  return broken;
}

// Every call of every file operation of a run fails in turn. The seam is above every drive,
// so the drive in memory meets each failure as the system's would.
TEST(Faults, EveryOperationFailingAtEveryCall) {
  int tried = 0;
  for (int o = 0; o < static_cast<int>(Op::kCount); ++o) {
    const Op op = static_cast<Op>(o);
    int calls = 0;
    {
      test::Station st(test::kInMemory);
      test::MakeSmallStation(st);
      platform::faults::Reset();
      ASSERT_TRUE(ArchiveOnce(st).finished());
      calls = platform::faults::Calls(op);
    }
    for (int n = 1; n <= calls; ++n) {
      SCOPED_TRACE(std::string(platform::faults::Name(op)) + " call " + std::to_string(n));
      test::Station st(test::kInMemory);
      test::MakeSmallStation(st);
      const test::Before before = test::Capture(st);
      platform::faults::Reset();
      platform::faults::FailNth(op, n, op == Op::kWrite ? ENOSPC : EIO);
      const Outcome first = ArchiveOnce(st);
      EXPECT_EQ(CheckAfterFailure(st, before, first), std::vector<std::string>{});
      ++tried;
    }
  }
  platform::faults::Reset();
  RecordProperty("faults", tried);
  std::printf("injected %d faults\n", tried);
  EXPECT_GT(tried, 50);
}

// Winpack writes a line in the instant of each of the first three tries to replace the list
// while every call of every file operation fails in turn: on a disk with links and on one
// that keeps one name a file, which replace an open file as Linux does, and on one with links
// that does not, as Windows. (Windows on a disk of one name loses a line written in that very
// instant, as the README says.) A run that says it finished has every such line in the list;
// one that says a second name keeps them has it; and after the run that follows, each is in
// the list once and the list is otherwise what a run without a failure leaves.
TEST(Faults, EveryOperationFailingWhileWinpackWritesAtTheReplacements) {
  test::Station pristine(test::kInMemory);
  test::MakeSmallStation(pristine);
  const test::Before before = test::Capture(pristine);
  int tried = 0;
  const struct {
    const char* name;
    bool oneName, openStays;
  } disks[] = {
      {"links", false, false}, {"one name", true, false}, {"links, as Windows", false, true}};
  for (const auto& kind : disks) {
    test::Station st(test::kInMemory);
    test::MemoryDisk& disk = *st.Disk();
    if (kind.oneName) disk.KeepOneNameAFile();
    if (kind.openStays) disk.ReplaceNoOpenFile();
    std::string reference;
    for (int o = 0; o < static_cast<int>(Op::kCount); ++o) {
      const Op op = static_cast<Op>(o);
      for (int n = 0;; ++n) {  // 0: no failure
        SCOPED_TRACE(std::string(kind.name) + ", " + platform::faults::Name(op) + " call " +
                     std::to_string(n));
        disk.CopyFrom(*pristine.Disk());
        std::set<std::string> written;
        test::WinpackWritesAtReplacements(disk, written);
        platform::faults::Reset();
        if (n > 0) platform::faults::FailNth(op, n, EIO);
        const Outcome first = ArchiveOnce(st);
        disk.BeforeEachReplace(nullptr);
        if (n > platform::faults::Calls(op)) break;
        platform::faults::Reset();
        const auto lines = test::Lines(st.Read("Winpack/Bulls/MARKED.TXT"));
        const std::string said = first.messages.empty() ? "" : first.messages[0].second;
        // Each of Winpack's lines is in the list once, or else where the run says it is.
        const auto keeps = [&](const std::string& name, const std::string& line) {
          if (!st.Exists("Winpack/Bulls/" + name)) return false;
          const auto kept = test::Lines(st.Read("Winpack/Bulls/" + name));
          return std::count(kept.begin(), kept.end(), line) > 0 &&
                 said.find("kept in C:\\Winpack\\BULLS\\" + name) != std::string::npos;
        };
        for (const std::string& line : written) {
          const auto inList = std::count(lines.begin(), lines.end(), line);
          EXPECT_LE(inList, 1) << line;
          EXPECT_TRUE(inList == 1 || keeps("MARKED.WAS", line) || keeps("MARKED.WA2", line) ||
                      said.find("\n" + line) != std::string::npos)
              << line << " " << said;
        }
        const Outcome next = ArchiveOnce(st);
        ASSERT_TRUE(next.finished()) << said << "\nthen: " << next.messages.at(0).second;
        EXPECT_EQ(test::Finished(st, before), std::vector<std::string>{});
        for (const auto& [bulletin, copies] : test::ArchiveCopies(st, before)) {
          EXPECT_EQ(copies, 1) << bulletin;
        }
        const test::WinpacksAndOthers list = test::SplitMarkedList(st);
        if (reference.empty()) reference = list.others;
        EXPECT_EQ(list.others, reference);
        EXPECT_EQ(list.winpacks, std::multiset<std::string>(written.begin(), written.end()));
        ++tried;
      }
    }
  }
  std::printf("injected %d faults while Winpack wrote\n", tried);
}

// A process killed, and a real disk cut, at every third call (every call with
// KELVARON_LONG_FAULTS): the drive in memory is cut at every call of a larger run, and fails
// at every call, in a fraction of the time; what only a real disk shows is shown at a sample.
int RealDiskStride() { return std::getenv("KELVARON_LONG_FAULTS") != nullptr ? 1 : 3; }

// The run is killed at file operations in turn, in a process of its own; the next run, on the
// next day, finishes what the killed one left.
TEST(Faults, KilledAtEveryCall) {
  const std::string child = test::ChildProgram();
  if (child.empty()) GTEST_SKIP() << "KELVARON_RUN_CHILD not set";
  int points = 0;
  for (int n = 1;; n += RealDiskStride()) {
    SCOPED_TRACE("killed at call " + std::to_string(n));
    test::Station st;
    test::MakeSmallStation(st);
    const test::Before before = test::Capture(st);
    const test::ChildEnd end = test::RunChild(child, n);
    if (end.completed) break;  // the run went through before the n-th call
    ASSERT_TRUE(end.killed) << "exit code " << end.code;
    ++points;
    std::vector<std::string> broken = test::Kept(st, before);
    platform::faults::Reset();
    for (const auto& b : AfterTheNextRun(st, before, ArchiveOnce("08-12-2026"))) {
      broken.push_back(b);
    }
    EXPECT_EQ(broken, std::vector<std::string>{});
  }
  std::printf("killed the run at %d points\n", points);
  EXPECT_GT(points * RealDiskStride(), 50);
}

// A real file system that is full, or read-only, under the archive root.
class MountedArchive : public ::testing::Test {
 protected:
  void Mount(const char* options) {
    test::MakeSmallStation(st_);
    archive_ = st_.Host("Winpack/Archive/Bulls");
    fs::rename(archive_, st_.root + "/archive-before");
    fs::create_directories(archive_);
    if (!test::CanMount() || test::Shell("mount -t tmpfs -o size=12k tmpfs " + archive_) != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    mounted_ = true;
    fs::copy(st_.root + "/archive-before", archive_, fs::copy_options::recursive);
    if (std::string(options) == "ro") {
      ASSERT_EQ(test::Shell("mount -o remount,ro " + archive_), 0);
    }
  }
  void TearDown() override {
    if (mounted_) test::Shell("umount -l " + archive_);
  }
  test::Station st_;
  std::string archive_;
  bool mounted_ = false;
};

TEST_F(MountedArchive, DiskFullMidRun) {
  Mount("rw");
  if (!mounted_) return;
  const test::Before before = test::Capture(st_);
  const Outcome first = ArchiveOnce();
  ASSERT_FALSE(first.messages.empty());
  EXPECT_EQ(first.messages[0].first, Kind::kError);
  EXPECT_NE(first.messages[0].second.find("No space left on device"), std::string::npos)
      << first.messages[0].second;
  EXPECT_EQ(test::Kept(st_, before), std::vector<std::string>{});
  for (const auto& [path, content] : st_.Snapshot()) {
    if (path.rfind("drive_c/Winpack/Archive/", 0) == 0 && before.archive.count(path) == 0) {
      bool whole = false;
      for (const auto& [b, original] : before.bulletins) whole = whole || content == original;
      EXPECT_TRUE(whole) << "partial archive file left: " << path;
    }
  }
}

TEST_F(MountedArchive, ReadOnlyArchiveRoot) {
  Mount("ro");
  if (!mounted_) return;
  const test::Before before = test::Capture(st_);
  const auto unchanged = st_.Snapshot();
  const Outcome first = ArchiveOnce();
  ASSERT_EQ(first.messages.size(), 1u);
  EXPECT_NE(first.messages[0].second.find("C:\\Winpack\\Archive\\Bulls"), std::string::npos);
  EXPECT_NE(first.messages[0].second.find("Read-only file system"), std::string::npos);
  EXPECT_EQ(st_.Snapshot(), unchanged);
  EXPECT_EQ(test::Kept(st_, before), std::vector<std::string>{});
  EXPECT_EQ(st_.Read("Winpack/Bulls/MARKED.TXT"), before.marked);
}

// The archive's file system turns read-only before each call of a run that makes a name, removes
// one or makes them durable (between two such calls it is all one to the run), where it can: not
// while a file on it is open for writing. Staged copies the run then cannot remove stay
// claimed by the journal: once the archive can be written again the next run removes them,
// the staging folder goes, and no message calls them someone else's.
TEST(ReadOnlyArchive, TurningReadOnlyAtEveryChange) {
  if (!test::CanMount()) GTEST_SKIP() << "cannot mount a tmpfs here";
  int points = 0;
  for (const Op op : {Op::kSync, Op::kRename, Op::kMakeDir, Op::kRemove, Op::kTrash}) {
    for (int n = 1;; ++n) {
      SCOPED_TRACE(std::string("read-only at ") + platform::faults::Name(op) + " call " +
                   std::to_string(n));
      test::Station st;
      test::MakeSmallStation(st);
      const std::string archive = st.Host("Winpack/Archive/Bulls");
      fs::rename(archive, st.root + "/archive-before");
      fs::create_directories(archive);
      if (test::Shell("mount -t tmpfs -o size=1m tmpfs " + archive) != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
      }
      fs::copy(st.root + "/archive-before", archive, fs::copy_options::recursive);
      const test::Before before = test::Capture(st);
      platform::faults::Reset();
      bool readOnly = false;
      int calls = 0;
      platform::faults::BeforeEach(op, [&] {
        if (++calls == n) readOnly = test::Shell("mount -o remount,ro " + archive) == 0;
      });
      const Outcome first = ArchiveOnce();
      platform::faults::Reset();
      test::Shell("mount -o remount,rw " + archive);
      if (calls < n) {
        test::Shell("umount -l " + archive);
        break;  // the run made fewer calls
      }
      if (readOnly) {
        ++points;
        std::vector<std::string> broken = test::Kept(st, before);
        // A copy that got its archive name before the archive turned read-only cannot be
        // removed when its batch is undone: it stays beside its bulletin, the journal names
        // it, and the next run finishes it (checked below); the message does not tell of it.
        const bool outlived = st.Exists("Winpack/Bulls/MARKED.JNL") &&
                              st.Read("Winpack/Bulls/MARKED.TXT") == before.marked &&
                              !test::ArchiveCopies(st, before).empty();
        for (const auto& b : MessagesAgainstDisk(st, before, first)) {
          if (!outlived || (b.rfind("says no bulletin", 0) != 0 && b.rfind("refused by", 0) != 0))
            broken.push_back(b);
        }
        const Outcome next = ArchiveOnce("08-12-2026");
        for (const auto& b : AfterTheNextRun(st, before, next)) broken.push_back(b);
        for (const auto& [kind, text] : next.messages) {
          if (text.find("not made by Kelvaron") != std::string::npos) {
            broken.push_back("the next run calls a copy of a run someone else's: " + text);
          }
        }
        if (st.Exists("Winpack/Archive/Bulls/Kelvaron.tmp")) {
          broken.push_back("the staging folder stays");
        }
        EXPECT_EQ(broken, std::vector<std::string>{});
      }
      test::Shell("umount -l " + archive);
    }
  }
  std::printf("the archive turned read-only at %d points\n", points);
  EXPECT_GT(points, 15);
}

}  // namespace

namespace {

using test::Shell;

// A new folder below the system's temporary folder whose name begins with `prefix`.
std::string NewTempDir(const std::string& prefix) {
  std::random_device random;
  const fs::path dir = fs::temp_directory_path() / (prefix + std::to_string(random()));
  fs::create_directories(dir);
  return dir.string();
}

// The system's reasons come in UTF-8 (here GLib's, naming a folder with an "ä"); the
// program's texts, and so its messages, are Windows-1252 throughout.
TEST(Messages, ReasonsOfTheSystemAreInTheProgramsCodePage) {
  const std::string child = test::ChildProgram();
  if (child.empty()) GTEST_SKIP() << "KELVARON_RUN_CHILD not set";
  if (!test::DriveCanMove()) GTEST_SKIP() << "the system's reasons are in its own code page";
  const std::string dir = NewTempDir("kelvaron-\xC3\xA4-");
  {
    test::Station st(dir, dir + "/data/Trash");
    test::MakeSmallStation(st);
    fs::create_directories(dir + "/data");
    std::ofstream(dir + "/data/Trash") << "a file where the trash should be";
  }
  ASSERT_TRUE(test::RunChild(child, 0, dir, dir + "/said.txt").completed);
  std::ifstream output(dir + "/said.txt");
  std::stringstream said;
  said << output.rdbuf();
  fs::remove_all(dir);
  EXPECT_NE(said.str().find("kelvaron-\xE4-"), std::string::npos) << said.str();
  EXPECT_EQ(said.str().find("\xC3\xA4"), std::string::npos) << said.str();
}

// A bulletin on another file system than the user's trash goes through GIO, which writes
// its .trashinfo without a flush: each record is made durable right after its move, before
// the next bulletin moves. The station is on an ext4 image of its own (GIO trashes nothing on
// a tmpfs), so GIO's trash for it is in that file system's top folder.
TEST(Trash, EachRecordGioWritesIsFlushedBeforeTheNextMove) {
  if (!test::HasFreedesktopTrash() || !test::CanMount()) GTEST_SKIP() << "cannot mount here";
  const std::string work = NewTempDir("kelvaron-gio-");
  const std::string disk = work + "/mnt";
  fs::create_directories(disk);
  if (Shell("truncate -s 8M " + work + "/disk.img && mkfs.ext4 -q -F " + work + "/disk.img") != 0 ||
      Shell("mount -o loop " + work + "/disk.img " + disk) != 0) {
    fs::remove_all(work);
    GTEST_SKIP() << "cannot make and mount an ext4 image here (needs root and loop devices)";
  }
  {
    test::Station st(disk, test::TrashDir());
    test::SetEnv("WINEPREFIX", st.prefix.c_str());
    std::vector<std::string> bulletins;
    for (const char* number : {"000001", "000002", "000003"}) {
      st.Bulletin(number, "ARES");
      bulletins.push_back(std::string("C:\\Winpack\\Bulls\\") + number[5] + "\\" + number + ".TXT");
    }
    // GIO's trash of the tmpfs (.Trash-<uid>), and how many files it holds.
    const auto gioTrash = [&] {
      for (const auto& e : fs::directory_iterator(disk)) {
        if (e.path().filename().string().starts_with(".Trash")) return e.path().string();
      }
      return std::string();
    };
    const auto inTrash = [&] {
      std::error_code ec;
      const auto files = fs::directory_iterator(gioTrash() + "/files", ec);
      return ec ? 0 : static_cast<int>(std::distance(fs::begin(files), fs::end(files)));
    };
    std::vector<int> atFlush;
    platform::faults::Reset();
    platform::faults::BeforeEach(Op::kSync, [&] { atFlush.push_back(inTrash()); });
    std::vector<std::string> reasons;
    {
      platform::Files files;
      reasons = files.MoveToTrash(bulletins);
    }
    platform::faults::Reset();
    EXPECT_EQ(reasons, std::vector<std::string>(3));
    EXPECT_EQ(inTrash(), 3) << "GIO did not take the files to " << disk;  // unmounted below
    for (int moved = 1; moved <= 3; ++moved) {
      SCOPED_TRACE(moved);
      EXPECT_NE(std::find(atFlush.begin(), atFlush.end(), moved), atFlush.end());
    }
    for (const char* name : {"000001.TXT", "000002.TXT", "000003.TXT"}) {
      std::ifstream info(gioTrash() + "/info/" + name + ".trashinfo");
      std::stringstream text;
      text << info.rdbuf();
      EXPECT_NE(text.str().find("Path="), std::string::npos) << name;
    }
  }
  Shell("umount " + disk);
  fs::remove_all(work);
}

// The messages of a run in a process of its own, as it wrote them to `said`.
Outcome ChildOutcome(const test::ChildEnd& end, const std::string& said) {
  std::ifstream output(said);
  std::stringstream text;
  text << output.rdbuf();
  const std::string finished = std::string(run::kFinished) + "\n", all = text.str();
  Outcome outcome;
  if (end.completed && all.size() >= finished.size() &&
      all.compare(all.size() - finished.size(), finished.size(), finished) == 0) {
    outcome.messages.emplace_back(Kind::kWarning, all.substr(0, all.size() - finished.size()));
    outcome.messages.emplace_back(Kind::kPlain, run::kFinished);
  } else {
    outcome.messages.emplace_back(Kind::kError, all);
  }
  return outcome;
}

// Runs the child on the station in `dir` once more, to its end, and appends to `broken` what
// is wrong with the station and the run's messages then; `said` takes its messages.
void CheckTheNextRun(const std::string& child, const test::Station& st, const test::Before& before,
                     const std::string& dir, const std::string& said,
                     std::vector<std::string>& broken) {
  const Outcome next = ChildOutcome(test::RunChild(child, 0, dir, said), said);
  for (const auto& b : AfterTheNextRun(st, before, next)) broken.push_back(b);
}

// An ext4 image mounted at `mnt` with a long commit interval, so that nothing reaches the
// image by chance.
struct CutDisk {
  std::string mnt, disk, cut;

  bool Mount(const std::string& image) const {
    return Shell("mount -o loop,commit=600 " + image + " " + mnt) == 0;
  }
  /// Runs the child on a copy of `image`, killed at call n, then cuts the power: the file
  /// system commits its journal (as ext4 does every few seconds) but writes back no data of
  /// its own accord, so the image, copied as the disk holds it, has the names the run made
  /// and of the data only what it flushed. That copy is mounted (replaying its journal).
  test::ChildEnd RunAndCut(const std::string& child, int n, const std::string& image,
                           const std::string& out) const {
    if (Shell("cp --sparse=always " + image + " " + disk) != 0 || !Mount(disk)) {
      ADD_FAILURE() << "cannot mount a copy of " << image;
      return {};
    }
    const test::ChildEnd end = test::RunChild(child, n, mnt, out);
    // The fsync of another file commits the names the run made without their data.
    const bool cutOff = Shell("touch " + mnt + "/commit && sync " + mnt + "/commit") == 0 &&
                        Shell("cp --sparse=always " + disk + " " + cut) == 0;
    Shell("umount " + mnt);
    if (!cutOff || !Mount(cut)) {
      ADD_FAILURE() << "cannot cut the power on " << disk;
      return {};
    }
    return end;
  }
};

// The power fails at file operations of a run in turn (RealDiskStride), and once right after a run
// that completed. The run works on an ext4 file system in a loop-mounted image held in memory
// (mounted with a long commit interval, so that nothing reaches the image by chance); when the
// run stops, the journal is committed and the image copied as the disk holds it: the names the
// run made, but of the data only what it flushed, as after a power cut. The copy is mounted
// (replaying its journal), checked, and run again, which must finish what was left.
TEST(PowerCut, AtEveryCallAndAfterTheEnd) {
  const std::string child = test::ChildProgram();
  if (child.empty()) GTEST_SKIP() << "KELVARON_RUN_CHILD not set";
  if (!test::CanMount()) GTEST_SKIP() << "cannot mount file systems here";
  const std::string work = NewTempDir("kelvaron-power-");
  const std::string pristine = work + "/pristine.img", mnt = work + "/mnt";
  const CutDisk disk{mnt, work + "/disk.img", work + "/cut.img"};
  if (Shell("mount -t tmpfs -o size=256m tmpfs " + work + " && mkdir " + mnt +
            " && truncate -s 32M " + pristine + " && mkfs.ext4 -q -F " + pristine) != 0 ||
      !disk.Mount(pristine)) {
    Shell("umount " + work);
    fs::remove_all(work);
    GTEST_SKIP() << "cannot make and mount an ext4 image here (needs root and loop devices)";
  }
  test::Before before;
  {
    test::Station st(mnt, mnt + "/data/Trash");
    test::MakeSmallStation(st);
    fs::create_directories(st.trash + "/files");  // the user's trash, as it usually is
    fs::create_directories(st.trash + "/info");
    fs::remove(st.Host("Winpack/Kelvaron.INI"));  // made by the run: it must survive too
    st.Write("Winpack/Bulls/Select.TXT", "[TO]\r\nARES\r\nWX\r\n");
    before = test::Capture(st);
  }
  Shell("umount " + mnt);

  int points = 0;
  for (int n = 1;; n += RealDiskStride()) {
    SCOPED_TRACE("power cut at call " + std::to_string(n));
    const test::ChildEnd end = disk.RunAndCut(child, n, pristine, work + "/first.txt");
    ASSERT_TRUE(end.completed || end.killed) << "exit code " << end.code;
    test::Station st(mnt, mnt + "/data/Trash");
    std::vector<std::string> broken = test::Kept(st, before);
    if (st.Exists("Winpack/Kelvaron.INI") &&
        st.Read("Winpack/Kelvaron.INI").find("[Kelvaron]\r\nSelect\r\n") == std::string::npos) {
      broken.push_back("Kelvaron.INI is there but not whole");
    }
    CheckTheNextRun(child, st, before, mnt, work + "/second.txt", broken);
    EXPECT_EQ(broken, std::vector<std::string>{});
    Shell("umount " + mnt);
    ++points;
    if (end.completed) break;
  }
  Shell("umount " + work);
  fs::remove_all(work);
  std::printf("cut the power at %d points\n", points);
  EXPECT_GT(points * RealDiskStride(), 50);
}

// Two interrupted runs in a row: a station of `count` bulletins of one group, the first run
// stopped at each batch boundary, and one more bulletin marked before the second run, which
// so stages copies of its own on top of what the first left.
std::string Number(int i) {
  std::string n = std::to_string(i);
  return std::string(6 - n.size(), '0') + n;
}

void MakeStationOf(const test::Station& st, int count) {
  st.Basics(99999, 0, {"ARES"});
  std::string list;
  for (int i = 1; i <= count; ++i) {
    st.Bulletin(Number(i), "ARES");
    list += Number(i) + ",B\r\n";
  }
  st.Write("Winpack/Bulls/MARKED.TXT", list);
}

// Winpack receives a bulletin and the operator marks it between the two runs.
void MarkOneMore(const test::Station& st, test::Before& before, int count) {
  const std::string n = Number(count + 1);
  st.Bulletin(n, "ARES");
  std::ofstream(st.Host("Winpack/Bulls/MARKED.TXT"), std::ios::app | std::ios::binary)
      << n + ",B\r\n";
  before.bulletins["drive_c/Winpack/Bulls/" + n.substr(5) + "/" + n + ".TXT"] =
      test::Station::BulletinText(n, "ARES");
  before.marked += n + ",B\r\n";
}

int CallsSoFar() {
  int calls = 0;
  for (int o = 0; o < static_cast<int>(Op::kCount); ++o) {
    calls += platform::faults::Calls(static_cast<Op>(o));
  }
  return calls;
}

struct Boundary {
  std::string name;
  int killAt;  // the first run is killed at this file operation
};

// Where a run on MakeStationOf(count) crosses a batch boundary: right after each batch but
// the last went to the trash, and right before its new list takes the place of the old.
std::vector<Boundary> BatchBoundaries(int count) {
  test::Station st;
  MakeStationOf(st, count);
  struct Watch : test::Recorder {
    std::vector<Boundary> found;
    void SetPanelText(int panel, const std::string& text) override {
      const int batches = static_cast<int>(found.size());
      if (panel == 1 && text == run::BulletinPath(Number(
                                    (batches + 1) * static_cast<int>(run::kBatchSize) + 1))) {
        found.push_back({"after batch " + std::to_string(batches + 1) + " went to the trash",
                         CallsSoFar() + 1});
      }
    }
  } watch;
  int lastRename = 0;
  platform::faults::Reset();
  platform::faults::BeforeEach(Op::kRename, [&] { lastRename = CallsSoFar(); });
  run::ArchiveMarkedBulletins(watch, test::FixedClock("07-12-2026"));
  platform::faults::Reset();
  watch.found.push_back({"before its list took the place of the old", lastRename});
  return watch.found;
}

// How many bulletins the stations of two runs in a row hold: a handful, or with
// KELVARON_LONG_FAULTS set a little more than a batch, so that the first run is also stopped
// between two batches (it takes minutes).
int TwoRunsBulletins() {
  return std::getenv("KELVARON_LONG_FAULTS") != nullptr ? static_cast<int>(run::kBatchSize) + 2 : 5;
}

// A killed run whose next run is killed too, at its file operations in turn (RealDiskStride),
// before a run that goes through: that last run finishes what both left, archives nothing twice and
// gives every archived bulletin its K mark. Every run is a process of its own on an ext4
// image held in memory (the trash refuses a tmpfs), so that the many runs take seconds.
TEST(Faults, KilledTwiceInARow) {
  const std::string child = test::ChildProgram();
  if (child.empty()) GTEST_SKIP() << "KELVARON_RUN_CHILD not set";
  if (!test::CanMount()) GTEST_SKIP() << "cannot mount file systems here";
  const std::string work = NewTempDir("kelvaron-twice-"), mnt = work + "/mnt";
  const std::string dir = mnt + "/station", saved = mnt + "/after-first";
  if (Shell("mount -t tmpfs -o size=512m tmpfs " + work + " && mkdir " + mnt +
            " && truncate -s 256M " + work + "/disk.img && mkfs.ext4 -q -F " + work +
            "/disk.img && mount -o loop " + work + "/disk.img " + mnt) != 0) {
    Shell("umount " + mnt + "; umount " + work);
    fs::remove_all(work);
    GTEST_SKIP() << "cannot make and mount an ext4 image here (needs root and loop devices)";
  }
  const int count = TwoRunsBulletins();
  int points = 0;
  for (const Boundary& boundary : BatchBoundaries(count)) {
    SCOPED_TRACE("first run killed " + boundary.name);
    Shell("rm -rf " + dir + " " + saved);
    test::Station st(dir, dir + "/data/Trash");
    MakeStationOf(st, count);
    test::Before before = test::Capture(st);
    ASSERT_TRUE(test::RunChild(child, boundary.killAt, dir, "/dev/null").killed);
    ASSERT_TRUE(st.Exists("Winpack/Bulls/MARKED.JNL"));
    ASSERT_EQ(st.Read("Winpack/Bulls/MARKED.TXT"), before.marked);
    MarkOneMore(st, before, count);
    ASSERT_EQ(Shell("cp -a " + dir + " " + saved), 0);
    for (int n = 1;; n += RealDiskStride()) {
      SCOPED_TRACE("second run killed at call " + std::to_string(n));
      ASSERT_EQ(Shell("rm -rf " + dir + " && cp -a " + saved + " " + dir), 0);
      const test::ChildEnd end = test::RunChild(child, n, dir, "/dev/null");
      ASSERT_TRUE(end.completed || end.killed) << "exit code " << end.code;
      ++points;
      std::vector<std::string> broken = test::Kept(st, before);
      CheckTheNextRun(child, st, before, dir, work + "/said.txt", broken);
      EXPECT_EQ(broken, std::vector<std::string>{});
      if (end.completed) break;
    }
  }
  // The station's data folder did not exist before its first run: the bulletins still went
  // to the trash in it, on their own disk, not through GIO to the disk's top-level trash.
  EXPECT_FALSE(fs::exists(mnt + "/.Trash-0"));
  Shell("umount " + mnt + "; umount " + work);
  fs::remove_all(work);
  std::printf("killed the second of two runs at %d points\n", points);
  EXPECT_GT(points * RealDiskStride(), 50);
}

// The power fails at file operations (RealDiskStride) of a run that finishes a killed one
// (killed at each batch boundary) and stages copies of its own, as in
// PowerCut.AtEveryCallAndAfterTheEnd; the run after the power cut finishes what both left. The
// images are held in memory.
TEST(PowerCut, InTheRunAfterAKilledOne) {
  const std::string child = test::ChildProgram();
  if (child.empty()) GTEST_SKIP() << "KELVARON_RUN_CHILD not set";
  if (!test::CanMount()) GTEST_SKIP() << "cannot mount file systems here";
  const std::string work = NewTempDir("kelvaron-power-twice-"), mnt = work + "/mnt";
  const std::string first = work + "/first.img";
  const CutDisk disk{mnt, work + "/disk.img", work + "/cut.img"};
  if (Shell("mount -t tmpfs -o size=1g tmpfs " + work + " && mkdir " + mnt) != 0) {
    fs::remove_all(work);
    GTEST_SKIP() << "cannot mount a tmpfs here";
  }
  const int count = TwoRunsBulletins();
  int points = 0;
  for (const Boundary& boundary : BatchBoundaries(count)) {
    SCOPED_TRACE("first run killed " + boundary.name);
    test::Before before;
    if (Shell("truncate -s 64M " + first + " && mkfs.ext4 -q -F " + first) != 0 ||
        !disk.Mount(first)) {
      Shell("umount " + work);
      fs::remove_all(work);
      GTEST_SKIP() << "cannot make and mount an ext4 image here (needs root and loop devices)";
    }
    {
      test::Station st(mnt, mnt + "/data/Trash");
      MakeStationOf(st, count);
      before = test::Capture(st);
      const bool killed = test::RunChild(child, boundary.killAt, mnt, "/dev/null").killed;
      MarkOneMore(st, before, count);
      Shell("umount " + mnt);
      ASSERT_TRUE(killed);
    }
    for (int n = 1;; n += RealDiskStride()) {
      SCOPED_TRACE("power cut at call " + std::to_string(n) + " of the second run");
      const test::ChildEnd end = disk.RunAndCut(child, n, first, "/dev/null");
      ASSERT_TRUE(end.completed || end.killed) << "exit code " << end.code;
      test::Station st(mnt, mnt + "/data/Trash");
      std::vector<std::string> broken = test::Kept(st, before);
      CheckTheNextRun(child, st, before, mnt, work + "/said.txt", broken);
      EXPECT_EQ(broken, std::vector<std::string>{});
      Shell("umount " + mnt);
      ++points;
      if (end.completed) break;
    }
  }
  Shell("umount " + work);
  fs::remove_all(work);
  std::printf("cut the power in the second of two runs at %d points\n", points);
  EXPECT_GT(points, 20);
}

}  // namespace
