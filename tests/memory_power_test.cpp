#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "run/paths.h"
#include "tests/invariants.h"
#include "tests/memory_drive.h"
#include "tests/runner.h"

namespace {

std::string Number(int i) {
  std::string n = std::to_string(i);
  return std::string(6 - n.size(), '0') + n;
}

// MakeSmallStation at a thousand lines: groups ARES and WX selected, KEPS not, every 37th
// bulletin missing, an archive file of the day already there, and the last lines past the
// limit (995), so that the run's every kind of step is cut many times over.
void MakeThousandLineStation(const test::Station& st) {
  st.Write("Winpack/Bulls/Lastnum.txt", "1995\r\n");
  st.Write("Winpack/Packet.ini", "[Settings]\r\nPRUNE_SIZE=1000\r\n");
  st.Write("Winpack/Kelvaron.INI", "#\r\n[Kelvaron]\r\nARES\r\nWX\r\n");
  st.Write("Winpack/Archive/Bulls/ARES/26120701.TXT", "archived earlier today\r\n");
  const char* const groups[] = {"ARES", "ARES", "WX", "ARES", "KEPS", "WX", "ARES"};
  std::string list;
  for (int i = 1; i <= 1000; ++i) {
    const std::string n = Number(i);
    std::string group = groups[i % 7];
    if (i % 37 != 0) st.Bulletin(n, group, "Body of " + n + "\r\n\xE4\xF6\xFC 73\r\n");
    group.resize(6, ' ');
    list += n + ",B," + group + "\r\n";
  }
  st.Write("Winpack/Bulls/MARKED.TXT", list);
}

// What one cut and the run after it broke.
std::vector<std::string> CheckCut(const test::Station& st, const test::Before& before,
                                  test::Runner& r, const std::map<std::string, int>& copies,
                                  const std::string& list) {
  std::vector<std::string> broken = test::Kept(st, before);
  r.Run();
  if (!r.Finished()) broken.push_back("the next run did not complete");
  for (const auto& b : test::Finished(st, before)) broken.push_back("after the next run: " + b);
  if (test::ArchiveCopies(st, before) != copies) broken.push_back("not one copy of each bulletin");
  if (st.Read("Winpack/Bulls/MARKED.TXT") != list) broken.push_back("not every K mark given");
  return broken;
}

// A disk's files with each run's own staging token, drawn at random, written as "<token>":
// two runs cut at the same point leave the same disk but for it.
std::map<std::string, std::string> WithoutTokens(const std::map<std::string, std::string>& files) {
  std::vector<std::string> tokens;
  for (const auto& [path, content] : files) {
    if (path.find("Bulls/MARKED.JN") == std::string::npos) continue;
    for (std::size_t line = 0; line < content.size(); line = content.find('\n', line) + 1) {
      if (content.compare(line, 2, "S ") == 0) tokens.push_back(content.substr(line + 2, 8));
      if (content.find('\n', line) == std::string::npos) break;
    }
  }
  const auto mask = [&](std::string text) {
    for (const std::string& token : tokens) {
      for (std::size_t at; (at = text.find(token)) != std::string::npos;) {
        text.replace(at, token.size(), "<token>");
      }
    }
    return text;
  };
  std::map<std::string, std::string> masked;
  for (const auto& [path, content] : files) masked[mask(path)] = mask(content);
  return masked;
}

struct Cut {
  int call;      // counted from the run's first call
  bool torn;     // else everything unflushed is lost
  int last = 0;  // not torn: the last call whose cut leaves this very disk
};

// Where the power is cut in a run of `calls` calls that flushed at `flushes`.
// Losing everything unflushed, a cut leaves what the last flush before it made durable, so
// one cut after each flush stands for every call up to the next: every call is checked.
// Torn cuts leave a different disk at each call: with KELVARON_LONG_FAULTS set at every call
// (some ten minutes), else at the first and last calls (the journal's start and the list's
// replacement), around each flush, where most is unflushed or a flush fails, and every
// 160th call between, some seconds.
std::vector<Cut> CutPoints(int calls, const std::vector<int>& flushes) {
  std::vector<Cut> cuts;
  int from = 1;
  for (const int f : flushes) {
    cuts.push_back({from, false, f});
    from = f + 1;
  }
  if (from <= calls) cuts.push_back({from, false, calls});
  const bool every = std::getenv("KELVARON_LONG_FAULTS") != nullptr;
  const auto nearFlush = [&](int n) {
    return std::any_of(flushes.begin(), flushes.end(),
                       [n](int f) { return n >= f - 3 && n <= f + 1; });
  };
  for (int n = 1; n <= calls; ++n) {
    if (every || n <= 8 || n > calls - 16 || nearFlush(n) || n % 160 == 0) {
      cuts.push_back({n, true});
    }
  }
  return cuts;
}

// The power fails in a run over a thousand marked lines (two batches), the disk left as a
// journalling file system leaves it: everything unflushed lost, or a cut chosen by the
// call's number. Nothing is lost, and the next run finishes the work with one copy and one
// K mark for each bulletin, as the run without a cut does.
TEST(PowerCut, InMemoryInAThousandLineRun) {
  const auto start = std::chrono::steady_clock::now();
  test::Station pristine(test::kInMemory);
  MakeThousandLineStation(pristine);
  const test::Before before = test::Capture(pristine);

  test::Station st(test::kInMemory);
  test::MemoryDisk& disk = *st.Disk();
  test::Runner r(st);
  disk.CopyFrom(*pristine.Disk());
  const int first = disk.Calls();
  r.Run();
  ASSERT_TRUE(r.Finished());
  const int calls = disk.Calls() - first;
  std::vector<int> flushes;
  for (const int f : disk.Flushes()) {
    if (f > first) flushes.push_back(f - first);
  }
  const auto copies = test::ArchiveCopies(st, before);
  const std::string list = st.Read("Winpack/Bulls/MARKED.TXT");
  ASSERT_EQ(test::Finished(st, before), std::vector<std::string>{});
  ASSERT_GT(copies.size(), run::kBatchSize);
  for (const auto& [bulletin, n] : copies) ASSERT_EQ(n, 1) << bulletin;

  const auto cutAt = [&](int n, bool torn) {
    disk.CopyFrom(*pristine.Disk());
    disk.FailAtCall(n);
    r.Run();
    ASSERT_TRUE(disk.PowerIsOff());
    torn ? disk.CutPower(0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(n)) : disk.CutPower();
  };
  int lost = 0, torn = 0;
  for (const Cut& cut : CutPoints(calls, flushes)) {
    SCOPED_TRACE("power cut at call " + std::to_string(cut.call));
    ASSERT_NO_FATAL_FAILURE(cutAt(cut.call, cut.torn));
    const auto left =
        cut.torn ? std::map<std::string, std::string>{} : WithoutTokens(disk.Snapshot());
    ASSERT_EQ(CheckCut(st, before, r, copies, list), std::vector<std::string>{});
    if (cut.torn) {
      ++torn;
      continue;
    }
    // What lets one cut stand for the calls up to the next flush: the last of them leaves
    // the very same disk.
    ASSERT_NO_FATAL_FAILURE(cutAt(cut.last, false));
    ASSERT_EQ(WithoutTokens(disk.Snapshot()), left) << "cut at call " << cut.last;
    lost += cut.last + 1 - cut.call;
  }
  ASSERT_EQ(lost, calls);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("calls", calls);
  RecordProperty("torn", torn);
  std::printf(
      "checked a power cut at each of the %d calls of a run, everything unflushed lost (%zu "
      "flushes, so %zu disks), and %d cuts that keep or tear unflushed bytes, in %.1f s\n",
      calls, flushes.size(), flushes.size() + 1, torn, seconds);
}

// Winpack appends a line in the instant of each of the list's first three tries to replace
// it, on the disk `setUp` makes. The power fails at every call of that run, everything
// unflushed lost, and the run after it finishes: each of Winpack's lines that the cut left in
// the list's files is in the list once, and the list is otherwise what a run without a cut
// leaves.
void WinpackWritesAtTheReplacements(const std::function<void(test::MemoryDisk&)>& setUp) {
  test::Station pristine(test::kInMemory);
  test::MakeSmallStation(pristine);
  const test::Before before = test::Capture(pristine);
  test::Station st(test::kInMemory);
  test::MemoryDisk& disk = *st.Disk();
  setUp(disk);
  test::Runner r(st);
  std::string reference;
  int cuts = 0;
  for (int n = 0;; ++n) {  // 0: no cut
    SCOPED_TRACE("power cut at call " + std::to_string(n));
    disk.CopyFrom(*pristine.Disk());
    std::set<std::string> written;
    test::WinpackWritesAtReplacements(disk, written);
    if (n > 0) disk.FailAtCall(n);
    r.Run();
    disk.BeforeEachReplace(nullptr);
    std::set<std::string> left;
    if (n > 0) {
      if (!disk.PowerIsOff()) break;
      disk.CutPower();
      ++cuts;
      for (const char* name : {"MARKED.TXT", "MARKED.WAS", "MARKED.WA2"}) {
        for (const std::string& line : test::Lines(st.Read(std::string("Winpack/Bulls/") + name))) {
          if (written.count(line) != 0) left.insert(line);
        }
      }
      r.Run();
    }
    ASSERT_TRUE(r.Finished()) << r.Error();
    ASSERT_EQ(test::Finished(st, before), std::vector<std::string>{});
    for (const auto& [bulletin, copies] : test::ArchiveCopies(st, before)) {
      ASSERT_EQ(copies, 1) << bulletin;
    }
    const test::WinpacksAndOthers list = test::SplitMarkedList(st);
    if (n == 0) {
      reference = list.others;
      ASSERT_EQ(list.winpacks.size(), 3u);
    }
    ASSERT_EQ(list.others, reference);
    for (const std::string& line : list.winpacks) ASSERT_EQ(list.winpacks.count(line), 1u) << line;
    for (const std::string& line : left) ASSERT_EQ(list.winpacks.count(line), 1u) << line;
  }
  std::printf("cut the power at each of the %d calls of a run that carried Winpack's lines\n",
              cuts);
}

// On a disk that keeps one name a file (FAT, exFAT), where the old list goes with its
// replacement but for the run's own hold on it; and on one with links that replaces no open
// file, as Windows.
TEST(PowerCut, InMemoryWhileWinpackWritesAtTheReplacements) {
  for (const bool asWindows : {false, true}) {
    SCOPED_TRACE(asWindows ? "with links, as Windows" : "one name");
    WinpackWritesAtTheReplacements([&](test::MemoryDisk& disk) {
      asWindows ? disk.ReplaceNoOpenFile() : disk.KeepOneNameAFile();
    });
  }
}

}  // namespace
