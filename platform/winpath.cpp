#include "platform/winpath.h"

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/wording.h"

namespace platform::winpath {
namespace {

std::string Trimmed(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

[[noreturn]] void Unmappable(const std::string& abs) {
  throw FileError(FileError::Kind::kNotFound, abs, words::kUnmappable);
}

}  // namespace

std::string Absolute(std::string_view winPath) {
  if (winPath.size() >= 2 && winPath[1] == ':') return Trimmed(std::string(winPath));
  if (!winPath.empty() && winPath[0] == '\\') return Trimmed("C:" + std::string(winPath));
  return Trimmed("C:\\" + std::string(winPath));
}

bool IsOneName(std::string_view part) {
  // Each part must stay one host name: never the folder itself, its parent or two names.
  return !part.empty() && part != "." && part != ".." &&
         part.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::vector<std::string> Components(const std::string& abs) {
  // "C:" alone would be the drive's current folder, which the program never has.
  if (abs.size() < 3 || UpperChar(abs[0]) != 'C' || abs[1] != ':' || abs[2] != '\\') {
    Unmappable(abs);
  }
  std::vector<std::string> parts;
  for (std::size_t start = 3; start < abs.size();) {
    std::size_t end = abs.find('\\', start);
    if (end == std::string::npos) end = abs.size();
    std::string part = abs.substr(start, end - start);
    if (!IsOneName(part)) Unmappable(abs);
    parts.push_back(std::move(part));
    start = end + 1;
  }
  return parts;
}

std::string Parent(const std::string& abs) {
  const std::size_t slash = abs.rfind('\\');
  return slash == std::string::npos || slash < 3 ? abs.substr(0, 3) : abs.substr(0, slash);
}

}  // namespace platform::winpath
