#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <vector>

#include "tests/child.h"

namespace test {

ChildEnd RunChild(const std::string& child, int killAt, const std::string& dir,
                  const std::string& out) {
  std::vector<std::string> env;
  if (!dir.empty()) env = {"WINEPREFIX=" + dir + "/prefix", "XDG_DATA_HOME=" + dir + "/data"};
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string var = *e;
    const bool replaced = var.rfind("WINEPREFIX=", 0) == 0 || var.rfind("XDG_DATA_HOME=", 0) == 0;
    if (dir.empty() || !replaced) env.push_back(var);
  }
  std::vector<char*> envp;
  for (auto& v : env) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::string arg0 = child, arg1 = std::to_string(killAt);
  char* argv[] = {arg0.data(), arg1.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!out.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, child.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid) return {};
  return {WIFEXITED(status) && WEXITSTATUS(status) == 0,
          WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL,
          WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

bool DriveCanMove() { return true; }

bool CanMount() { return geteuid() == 0; }

int Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

}  // namespace test
