// Winpack marking bulletins as fast as it can: a line a millisecond appended to MARKED.TXT
// with the C runtime, as Winpack's own runtime appends. "line" opens the list for each line;
// "held" keeps it open for twenty lines at a time. Each line ends in its own sequence number. It
// stops once the stop file exists, and tells how many lines it wrote and how many of its opens the
// system refused.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

bool Exists(const char* path) {
  std::FILE* f = std::fopen(path, "rb");
  if (f != nullptr) std::fclose(f);
  return f != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: appender MARKED.TXT line|held STOPFILE\n");
    return 2;
  }
  const std::string mode = argv[2];
  constexpr int kHeldLines = 20;
  long written = 0, refused = 0;
  std::FILE* held = nullptr;
  while (!Exists(argv[3])) {
    std::FILE* f = held != nullptr ? held : std::fopen(argv[1], "ab");
    if (f == nullptr) {
      if (refused++ == 0) std::fprintf(stderr, "refused: %s\n", std::strerror(errno));
    } else {
      std::fprintf(f, "%06ld,B,WX    ,%ld\r\n", 800000 + written % 100000, written);
      ++written;
      if (mode == "held" && written % kHeldLines != 0) {
        std::fflush(f);
        held = f;
      } else {
        std::fclose(f);
        held = nullptr;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (held != nullptr) std::fclose(held);
  std::printf("written %ld refused %ld\n", written, refused);
  return 0;
}
