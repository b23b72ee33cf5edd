// The run on Windows failing at every file operation in turn, and ended by TerminateProcess
// at every one in a process of its own (started by CreateProcess): nothing is lost, and a
// second run finishes the work without archiving anything twice.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/faults.h"
#include "run/marked_list.h"
#include "run/messages.h"
#include "tests/invariants.h"
#include "tests/runner.h"

using platform::faults::Op;
using Kind = run::Reporter::Kind;

namespace {

// After a run that may have failed anywhere: what it kept, then a second run that completes
// and leaves everything finished.
std::vector<std::string> KeptAndFinishedLater(const test::Station& st, const test::Before& before,
                                              const std::string& first) {
  std::vector<std::string> broken = test::Kept(st, before);
  platform::faults::Reset();
  test::Runner next;
  next.Run();
  if (!next.Finished()) {
    broken.push_back("second run did not complete: " +
                     (next.rec.messages.empty() ? std::string() : next.rec.messages[0].second));
  }
  for (const auto& b : test::Kept(st, before)) broken.push_back("after the second run: " + b);
  for (const auto& b : test::Finished(st, before)) broken.push_back("after the second run: " + b);
  for (const auto& [bulletin, n] : test::ArchiveCopies(st, before)) {
    if (n > 1) broken.push_back("archived twice: " + bulletin);
  }
  if (!broken.empty()) broken.push_back("first run said: " + first);
  return broken;
}

TEST(WindowsFaults, EveryOperationFailingAtEveryCall) {
  int tried = 0;
  for (int o = 0; o < static_cast<int>(Op::kCount); ++o) {
    const Op op = static_cast<Op>(o);
    int calls = 0;
    {
      test::Station st;
      test::MakeSmallStation(st);
      platform::faults::Reset();
      test::Runner r;
      r.Run();
      ASSERT_TRUE(r.Finished());
      calls = platform::faults::Calls(op);
    }
    for (int n = 1; n <= calls; ++n) {
      SCOPED_TRACE(std::string(platform::faults::Name(op)) + " call " + std::to_string(n));
      test::Station st;
      test::MakeSmallStation(st);
      const test::Before before = test::Capture(st);
      platform::faults::Reset();
      platform::faults::FailNth(op, n, op == Op::kWrite ? ENOSPC : EIO);
      std::string said;
      bool finished = false, failed = false;
      {
        // Ended before the checks, as the window ends a run: a run holds its files till then.
        test::Runner r;
        r.Run();
        for (const auto& [kind, text] : r.rec.messages) said += text + "\n";
        finished = r.Finished();
        failed = !r.rec.messages.empty() && r.rec.messages[0].first != Kind::kPlain;
      }
      EXPECT_FALSE(failed && finished) << said;
      EXPECT_EQ(KeptAndFinishedLater(st, before, said), std::vector<std::string>{});
      ++tried;
    }
  }
  platform::faults::Reset();
  std::printf("injected %d faults\n", tried);
  EXPECT_GT(tried, 50);
}

// Exit code 9 is the seam's TerminateProcess; 0 a run that went through before the n-th call.
DWORD RunChild(std::string child, int killAt) {
  if (child.rfind('/', 0) == 0) child = "Z:" + child;  // a host path, handed to Wine by CTest
  std::wstring command =
      L"\"" + std::wstring(child.begin(), child.end()) + L"\" " + std::to_wstring(killAt);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return ~DWORD{0};
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = ~DWORD{0};
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TEST(WindowsFaults, KilledAtEveryCall) {
  const char* child = std::getenv("KELVARON_RUN_CHILD");
  if (child == nullptr || *child == '\0') GTEST_SKIP() << "KELVARON_RUN_CHILD not set";
  int points = 0;
  for (int n = 1;; ++n) {
    SCOPED_TRACE("killed at call " + std::to_string(n));
    test::Station st;
    test::MakeSmallStation(st);
    const test::Before before = test::Capture(st);
    const DWORD code = RunChild(child, n);
    if (code == 0) break;
    ASSERT_EQ(code, 9u);
    ++points;
    EXPECT_EQ(KeptAndFinishedLater(st, before, "(killed)"), std::vector<std::string>{});
  }
  std::printf("ended the run at %d points\n", points);
  EXPECT_GT(points, 50);
}

}  // namespace
