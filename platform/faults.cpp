#include "platform/faults.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

#include <array>
#include <cstdlib>
#include <functional>
#include <utility>

namespace platform::faults {
namespace {

constexpr auto kOps = static_cast<std::size_t>(Op::kCount);
std::array<int, kOps> g_calls{};
Op g_failOp = Op::kCount;
int g_failAt = 0;
int g_failErr = 0;
int g_all = 0;
int g_killAt = 0;
Op g_actionOp = Op::kCount;
std::function<void()> g_action;

}  // namespace

void FailNth(Op op, int n, int err) {
  g_failOp = op;
  g_failAt = n;
  g_failErr = err;
}

void KillAtCall(int n) { g_killAt = n; }

void BeforeEach(Op op, std::function<void()> action) {
  g_actionOp = op;
  g_action = std::move(action);
}

void Reset() {
  g_calls.fill(0);
  g_all = 0;
  g_failOp = Op::kCount;
  g_failAt = 0;
  g_killAt = 0;
  g_actionOp = Op::kCount;
  g_action = nullptr;
}

int Calls(Op op) { return g_calls[static_cast<std::size_t>(op)]; }

int Check(Op op) {
  const int n = ++g_calls[static_cast<std::size_t>(op)];
  if (++g_all == g_killAt) {
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 9);  // as abrupt as SIGKILL: nothing is flushed
#else
    raise(SIGKILL);
#endif
  }
  if (op == g_actionOp && g_action) g_action();
  return op == g_failOp && n == g_failAt ? g_failErr : 0;
}

const char* Name(Op op) {
  static constexpr std::array<const char*, kOps> kNames = {"open",   "create", "read",    "write",
                                                           "fsync",  "close",  "rename",  "mkdir",
                                                           "unlink", "stat",   "opendir", "trash"};
  return kNames[static_cast<std::size_t>(op)];
}

const std::string& TestDrive() {
  static const std::string drive = [] {
    const char* dir = std::getenv("KELVARON_TEST_DRIVE");
    std::string d = dir != nullptr ? dir : "";
    while (!d.empty() && (d.back() == '\\' || d.back() == '/')) d.pop_back();
    return d;
  }();
  return drive;
}

}  // namespace platform::faults
