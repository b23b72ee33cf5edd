#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>

#include "platform/faults.h"
#include "run/archive_run.h"
#include "tests/invariants.h"
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

Outcome ArchiveOnce() { return {test::Runner().Run()}; }

// Checks everything a failed run must leave, then that a second run completes and copies
// nothing twice. Returns the broken guarantees.
std::vector<std::string> CheckAfterFailure(const test::Station& st, const test::Before& before,
                                           const Outcome& first) {
  std::vector<std::string> broken = test::Kept(st, before);
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
  const Outcome second = ArchiveOnce();
  if (!second.finished()) {
    broken.push_back("second run did not complete: " +
                     (second.messages.empty() ? std::string() : second.messages[0].second));
  }
  for (const auto& b : test::Kept(st, before)) broken.push_back("after the second run: " + b);
  for (const auto& [bulletin, n] : test::ArchiveCopies(st, before)) {
    if (n > 1) broken.push_back("archived twice: " + bulletin);
  }
  return broken;
}

// Every call of every file operation of a run fails in turn.
TEST(Faults, EveryOperationFailingAtEveryCall) {
  int tried = 0;
  for (int o = 0; o < static_cast<int>(Op::kCount); ++o) {
    const Op op = static_cast<Op>(o);
    int calls = 0;
    {
      test::Station st;
      test::MakeSmallStation(st);
      platform::faults::Reset();
      ASSERT_TRUE(ArchiveOnce().finished());
      calls = platform::faults::Calls(op);
    }
    for (int n = 1; n <= calls; ++n) {
      SCOPED_TRACE(std::string(platform::faults::Name(op)) + " call " + std::to_string(n));
      test::Station st;
      test::MakeSmallStation(st);
      const test::Before before = test::Capture(st);
      platform::faults::Reset();
      platform::faults::FailNth(op, n, op == Op::kWrite ? ENOSPC : EIO);
      const Outcome first = ArchiveOnce();
      EXPECT_EQ(CheckAfterFailure(st, before, first), std::vector<std::string>{});
      ++tried;
    }
  }
  platform::faults::Reset();
  RecordProperty("faults", tried);
  std::printf("injected %d faults\n", tried);
  EXPECT_GT(tried, 50);
}

// The run is killed (SIGKILL) at every file operation in turn, in a child process.
TEST(Faults, KilledAtEveryCall) {
  const std::string child =
      std::string(getenv("KELVARON_RUN_CHILD") ? getenv("KELVARON_RUN_CHILD") : "");
  if (child.empty()) GTEST_SKIP() << "KELVARON_RUN_CHILD not set";
  int points = 0;
  for (int n = 1;; ++n) {
    SCOPED_TRACE("killed at call " + std::to_string(n));
    test::Station st;
    test::MakeSmallStation(st);
    const test::Before before = test::Capture(st);
    const std::string arg = std::to_string(n);
    char* argv[] = {const_cast<char*>(child.c_str()), const_cast<char*>(arg.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, child.c_str(), nullptr, nullptr, argv, environ), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    if (WIFEXITED(status)) {
      EXPECT_EQ(WEXITSTATUS(status), 0);
      break;  // the run went through before the n-th call
    }
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ++points;
    std::vector<std::string> broken = test::Kept(st, before);
    platform::faults::Reset();
    const Outcome second = ArchiveOnce();
    if (!second.finished()) broken.push_back("second run did not complete");
    for (const auto& b : test::Kept(st, before)) broken.push_back("after the second run: " + b);
    for (const auto& [bulletin, copies] : test::ArchiveCopies(st, before)) {
      if (copies > 1) broken.push_back("archived twice: " + bulletin);
    }
    EXPECT_EQ(broken, std::vector<std::string>{});
  }
  std::printf("killed the run at %d points\n", points);
  EXPECT_GT(points, 50);
}

// A real file system that is full, or read-only, under the archive root.
class MountedArchive : public ::testing::Test {
 protected:
  void Mount(const char* options) {
    test::MakeSmallStation(st_);
    archive_ = st_.Host("Winpack/Archive/Bulls");
    fs::rename(archive_, st_.root + "/archive-before");
    fs::create_directories(archive_);
    if (mount("tmpfs", archive_.c_str(), "tmpfs", 0, "size=12k") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    mounted_ = true;
    fs::copy(st_.root + "/archive-before", archive_, fs::copy_options::recursive);
    if (std::string(options) == "ro") {
      ASSERT_EQ(mount("tmpfs", archive_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=12k"), 0);
    }
  }
  void TearDown() override {
    if (mounted_) umount2(archive_.c_str(), MNT_DETACH);
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

}  // namespace
