// Times a whole archive run (A) against the same outputs made by hand-written system calls
// (B), on identical fresh copies of a synthetic station, and prints a table. With an X
// display (DISPLAY) and kelvaron_window_bench beside it, it times the user's path too (W):
// the same run through the window's menu command.
//   kelvaron_bench [N ...]           N marked lines per station; default 1000 10000 100000
//   kelvaron_bench --station DIR N   only makes a station, in DIR/prefix
//   kelvaron_bench --worker a|b DIR  one run of A or B on DIR/prefix (trash in DIR/data)
// BENCH_REPS sets the repetitions of the largest stations (default 3); a smaller station is
// repeated more, up to ten times as often, as its run is short enough for the machine's own
// unrest to be as large as the differences measured. BENCH_DIR sets the work folder (default
// /tmp), BENCH_VERBOSE prints every repetition.
// Each repetition runs on copies made by hard links, kept until all repetitions of one N are
// done: deleting hundreds of thousands of files just before a run slows ext4's allocation
// of new inodes for a while, which would time the file system's housekeeping instead. On a
// tmpfs, where every link costs an inode and nothing is slowed, they go at once.
#include <linux/magic.h>
#include <spawn.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/baseline.h"
#include "bench/station.h"
#include "platform/clock.h"
#include "run/messages.h"
#include "run/run.h"

namespace fs = std::filesystem;

namespace {

class Silent : public run::Reporter {
 public:
  void SetPanelText(int, const std::string&) override {}
  void ShowMessage(Kind, const std::string& text) override {
    finished = text == run::kFinished;
    if (!finished) std::fprintf(stderr, "%s\n", text.c_str());
  }
  bool finished = false;
};

// In the child: one run of A or B on the station in `dir`; writes its seconds to dir/seconds.
int Worker(const std::string& which, const std::string& dir) {
  const auto start = std::chrono::steady_clock::now();
  bool ok = true;
  double flushSeconds = 0;
  if (which == "a") {
    Silent silent;
    bench::Clock clock;
    run::ArchiveMarkedBulletins(silent, clock);
    ok = silent.finished;
  } else {
    flushSeconds = bench::Baseline(dir + "/prefix", dir + "/data");
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::ofstream(dir + "/seconds") << took.count() << ' ' << bench::PeakKiB() << ' ' << flushSeconds;
  return ok ? 0 : 1;
}

struct Measure {
  double seconds;
  long peakKiB;
  double flushSeconds = 0;  // of B: the time it waited for its flushes
};

Measure Spawn(const std::string& self, const std::string& which, const std::string& dir) {
  sync();  // each run pays for writing back its own data only, not for the copy before it
  std::vector<std::string> env = {"WINEPREFIX=" + dir + "/prefix",
                                  "XDG_DATA_HOME=" + dir + "/data"};
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string var = *e;
    if (var.rfind("WINEPREFIX=", 0) != 0 && var.rfind("XDG_DATA_HOME=", 0) != 0) env.push_back(var);
  }
  std::vector<char*> envp;
  for (auto& v : env) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::string arg0 = self, arg1 = "--worker", arg2 = which, arg3 = dir;
  char* argv[] = {arg0.data(), arg1.data(), arg2.data(), arg3.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
    std::perror("posix_spawn");
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "run %s in %s failed\n", which.c_str(), dir.c_str());
    std::exit(1);
  }
  Measure m{};
  std::ifstream(dir + "/seconds") >> m.seconds >> m.peakKiB >> m.flushSeconds;
  fs::remove(dir + "/seconds");
  return m;
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// Whether two run folders hold the same files with the same contents; the trash's deletion
// dates and the folder each .trashinfo names are left out. Says the first difference.
bool SameFiles(const std::string& a, const std::string& b) {
  const auto comparable = [](const fs::path& file, const std::string& dir) {
    std::string text = Slurp(file);
    if (file.extension() == ".trashinfo") {
      text = text.substr(0, text.find("DeletionDate="));
      const std::size_t at = text.find(dir);
      if (at != std::string::npos) text.erase(at, dir.size());
    }
    return text;
  };
  std::size_t count = 0;
  for (const auto& e : fs::recursive_directory_iterator(a)) {
    if (!e.is_regular_file()) continue;
    ++count;
    const fs::path other = fs::path(b) / fs::relative(e.path(), a);
    if (!fs::is_regular_file(other) || comparable(e.path(), a) != comparable(other, b)) {
      std::fprintf(stderr, "differs: %s\n", e.path().c_str());
      return false;
    }
  }
  std::size_t countB = 0;
  for (const auto& e : fs::recursive_directory_iterator(b)) countB += e.is_regular_file() ? 1 : 0;
  if (count != countB) std::fprintf(stderr, "%zu files against %zu\n", count, countB);
  return count == countB;
}

void Fresh(const std::string& from, const std::string& to) {
  fs::create_directories(to + "/data");
  fs::copy(from, to + "/prefix", fs::copy_options::recursive | fs::copy_options::create_hard_links);
}

bool OnTmpfs(const std::string& dir) {
  struct statfs fs {};
  return statfs(dir.c_str(), &fs) == 0 && fs.f_type == TMPFS_MAGIC;
}

void RemoveRun(const std::string& station, int rep) {
  fs::remove_all(station + "-" + std::to_string(rep) + "a");
  fs::remove_all(station + "-" + std::to_string(rep) + "b");
}

std::size_t Moved(const std::string& dir) {
  std::size_t n = 0;
  for (const auto& e : fs::directory_iterator(dir + "/data/Trash/files")) n += e.exists() ? 1 : 0;
  return n;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--worker") return Worker(argv[2], argv[3]);
  if (argc == 4 && std::string(argv[1]) == "--station") {  // for profiling by hand
    bench::MakeStation(std::string(argv[2]) + "/prefix", std::atoi(argv[3]), 7);
    return 0;
  }

  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000, 100000};
  const int reps = std::getenv("BENCH_REPS") ? std::atoi(std::getenv("BENCH_REPS")) : 3;
  const std::string self = fs::canonical("/proc/self/exe").string();
  std::string base = (std::getenv("BENCH_DIR") ? std::getenv("BENCH_DIR") : "/tmp");
  base += "/kelvaron-bench-XXXXXX";
  const std::string work = mkdtemp(base.data());
  const bool tmpfs = OnTmpfs(work);

  // The user's path, where a display is there to show the window on.
  const std::string windowBench = (fs::path(self).parent_path() / "kelvaron_window_bench").string();
  const bool window = std::getenv("DISPLAY") != nullptr && fs::exists(windowBench);
  if (!window) std::fprintf(stderr, "no X display or no kelvaron_window_bench: no window run\n");

  // What durability costs: the time B waits for its flushes, per bulletin moved.
  std::printf("%8s %10s %9s %10s %9s %6s %9s %9s %8s", "N", "A s", "A us/ln", "B s", "B us/ln",
              "A/B", "A peak MB", "B flush s", "us/moved");
  if (window) std::printf(" %10s %6s %9s", "W s", "W/A", "W peak MB");
  std::printf("\n");
  for (int n : sizes) {
    const std::string station = work + "/station-" + std::to_string(n);
    bench::MakeStation(station + "/prefix", n, 7);
    std::vector<double> a, b, w, ratio, ratioWA, ratioWB, flush;
    long peak = 0, peakW = 0;
    std::size_t moved = 0;
    const int repsN = reps * std::clamp(30000 / std::max(n, 1), 1, 10);
    for (int rep = 0; rep < repsN; ++rep) {
      const std::string dirA = station + "-" + std::to_string(rep) + "a";
      const std::string dirB = station + "-" + std::to_string(rep) + "b";
      const std::string dirW = station + "-" + std::to_string(rep) + "w";
      Fresh(station + "/prefix", dirA);
      Fresh(station + "/prefix", dirB);
      if (window) Fresh(station + "/prefix", dirW);
      // Take turns at going first, so that none always finds the disk's caches warm.
      Measure ma{}, mb{}, mw{};
      const int turns = window ? 3 : 2;
      for (int k = 0; k < turns; ++k) {
        switch ((rep + k) % turns) {
          case 0:
            ma = Spawn(self, "a", dirA);
            break;
          case 1:
            mb = Spawn(self, "b", dirB);
            break;
          default:
            mw = Spawn(windowBench, "w", dirW);
            break;
        }
      }
      if (rep == 0) moved = Moved(dirB);
      if (rep == 0 && !SameFiles(dirA, dirB)) {
        std::fprintf(stderr, "N=%d: A and B left different files in %s and %s\n", n, dirA.c_str(),
                     dirB.c_str());
        return 1;
      }
      if (rep == 0 && window && !SameFiles(dirW, dirA)) {
        std::fprintf(stderr, "N=%d: W and A left different files in %s and %s\n", n, dirW.c_str(),
                     dirA.c_str());
        return 1;
      }
      if (std::getenv("BENCH_VERBOSE") != nullptr) {
        std::fprintf(stderr, "N=%d rep %d: A %.3f s, B %.3f s (flushes %.3f s), W %.3f s\n", n, rep,
                     ma.seconds, mb.seconds, mb.flushSeconds, mw.seconds);
      }
      a.push_back(ma.seconds);
      b.push_back(mb.seconds);
      flush.push_back(mb.flushSeconds);
      ratio.push_back(ma.seconds / mb.seconds);
      peak = std::max(peak, ma.peakKiB);
      if (window) {
        w.push_back(mw.seconds);
        ratioWA.push_back(mw.seconds / ma.seconds);
        ratioWB.push_back(mw.seconds / mb.seconds);
        peakW = std::max(peakW, mw.peakKiB);
      }
      if (tmpfs) {
        RemoveRun(station, rep);
        fs::remove_all(dirW);
      }
    }
    const double am = Median(a), bm = Median(b);
    std::printf("%8d %10.3f %9.1f %10.3f %9.1f %6.2f %9.1f %9.3f %8.1f", n, am, am * 1e6 / n, bm,
                bm * 1e6 / n, Median(ratio), peak / 1024.0, Median(flush),
                Median(flush) * 1e6 / static_cast<double>(std::max<std::size_t>(moved, 1)));
    if (window) {
      std::printf(" %10.3f %6.2f %9.1f\n", Median(w), Median(ratioWA), peakW / 1024.0);
      std::printf("window/headless N=%d ratio %.2f\n", n, Median(ratioWA));
      std::printf("headless/baseline N=%d ratio %.2f\n", n, Median(ratio));
      std::printf("window/baseline N=%d ratio %.2f\n", n, Median(ratioWB));
      std::printf("window peak N=%d MB %.1f\n", n, peakW / 1024.0);
    } else {
      std::printf("\n");
    }
    std::fflush(stdout);
    for (int rep = 0; rep < repsN && !tmpfs; ++rep) {
      RemoveRun(station, rep);
      fs::remove_all(station + "-" + std::to_string(rep) + "w");
    }
    fs::remove_all(station);
  }
  fs::remove_all(work);
  return 0;
}
