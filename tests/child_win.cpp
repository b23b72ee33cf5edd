#include <windows.h>

#include <psapi.h>

#include <cstdlib>

#include "tests/child.h"

namespace test {

// Exit code 9 is the seam's TerminateProcess; 0 a run that went through before the call.
ChildEnd RunChild(const std::string& program, int killAt, const std::string& dir,
                  const std::string& out) {
  if (!dir.empty() || !out.empty()) return {};  // drive C: is the machine's own
  std::string child = program;
  if (child.rfind('/', 0) == 0) child = "Z:" + child;  // a host path, handed to Wine by CTest
  std::wstring command =
      L"\"" + std::wstring(child.begin(), child.end()) + L"\" " + std::to_wstring(killAt);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return {};
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = ~DWORD{0};
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return {code == 0, code == 9, static_cast<long>(code)};
}

long PeakKiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

bool DriveCanMove() { return false; }

bool CanMount() { return false; }

int Shell(const std::string& command) { return std::system(command.c_str()); }

}  // namespace test
