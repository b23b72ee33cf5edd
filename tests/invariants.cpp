#include "tests/invariants.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>

#include "run/marked_list.h"
#include "run/messages.h"
#include "tests/memory_drive.h"

namespace fs = std::filesystem;

namespace test {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

namespace {

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

using Files = std::map<std::string, std::string>;

// The bulletins of before by their content, so that a file is matched at one look whatever
// the size of the station.
std::unordered_multimap<std::string_view, const std::string*> ByContent(const Before& before) {
  std::unordered_multimap<std::string_view, const std::string*> index;
  for (const auto& [path, content] : before.bulletins) index.emplace(content, &path);
  return index;
}

// A file that the run made under an archive name (not in its staging folder).
bool IsNewArchiveFile(const std::string& path, const Before& before) {
  return StartsWith(path, "drive_c/Winpack/Archive/") && before.archive.count(path) == 0 &&
         path.find("/Kelvaron.tmp/") == std::string::npos;
}

std::map<std::string, int> CopiesIn(const Files& now, const Before& before) {
  const auto byContent = ByContent(before);
  std::map<std::string, int> copies;
  for (const auto& [path, content] : now) {
    if (!IsNewArchiveFile(path, before)) continue;
    const auto [from, to] = byContent.equal_range(content);
    for (auto it = from; it != to; ++it) ++copies[*it->second];
  }
  return copies;
}

}  // namespace

void MakeSmallStation(const Station& st) {
  st.Write("Winpack/Bulls/Lastnum.txt", "1300\r\n");
  st.Write("Winpack/Packet.ini", "[Settings]\r\nPRUNE_SIZE=1000\r\n");  // limit 300
  st.Write("Winpack/Kelvaron.INI", "#\r\n[Kelvaron]\r\nARES\r\nWX\r\n");
  st.Write("Winpack/Archive/Bulls/ARES/26120701.TXT", "archived earlier today\r\n");
  for (const auto& [n, g] : std::vector<std::pair<std::string, std::string>>{{"000101", "ARES"},
                                                                             {"000102", "WX"},
                                                                             {"000103", "KEPS"},
                                                                             {"000104", "ARES"},
                                                                             {"000105", "WX"},
                                                                             {"000300", "ARES"},
                                                                             {"000301", "WX"}}) {
    st.Bulletin(n, g, "Body of " + n + "\r\n\xE4\xF6\xFC 73\r\n");
  }
  st.Write("Winpack/Bulls/MARKED.TXT",
           "000101,B,ARES  \r\n000102,B,WX    \r\n000103,B,KEPS  \r\n000150,B,ARES  \r\n"
           "000104,B,ARES  \r\n000105,B,WX    \r\n000300,B,ARES  \r\n000301,B,WX    \r\n");
}

Before Capture(const Station& st) {
  Before before;
  for (const auto& [path, content] : st.Snapshot()) {
    if (StartsWith(path, "drive_c/Winpack/Bulls/") && path.size() > 26 &&
        path.find("MARKED") == std::string::npos && path.find("/", 22) != std::string::npos) {
      before.bulletins[path] = content;
    } else if (StartsWith(path, "drive_c/Winpack/Archive/")) {
      before.archive[path] = content;
    }
  }
  before.marked = st.Read("Winpack/Bulls/MARKED.TXT");
  return before;
}

std::map<std::string, int> ArchiveCopies(const Station& st, const Before& before) {
  return CopiesIn(st.Snapshot(), before);
}

std::vector<std::string> Finished(const Station& st, const Before& before) {
  std::vector<std::string> broken;
  const auto now = st.Snapshot();
  const auto copies = CopiesIn(now, before);
  const auto list = now.find("drive_c/Winpack/Bulls/MARKED.TXT");
  std::set<std::string> kMarked;  // sorted: the first line from a number on tells
  for (auto& line : Lines(list == now.end() ? std::string() : list->second)) {
    if (run::IsKMarked(line)) kMarked.insert(std::move(line));
  }
  for (const auto& [path, n] : copies) {
    const std::string number = path.substr(path.rfind('/') + 1, 6);
    const auto line = kMarked.lower_bound(number);
    if (line == kMarked.end() || !StartsWith(*line, number))
      broken.push_back("archived without its K mark: " + number);
  }
  for (const auto& [path, content] : now) {
    if (StartsWith(path, "trash:info/")) {
      const std::string name = path.substr(11, path.size() - 11 - 10);
      if (now.count("trash:files/" + name) == 0) broken.push_back("orphan trash record: " + path);
      if (content.find("\nPath=/") == std::string::npos)
        broken.push_back("empty trash record: " + path);
    }
    if (path.find("Kelvaron.tmp/") != std::string::npos ||
        path.find("MARKED.JNL") != std::string::npos ||
        path.find("MARKED.LCK") != std::string::npos) {
      broken.push_back("left behind: " + path);
    }
  }
  return broken;
}

std::vector<std::string> Kept(const Station& st, const Before& before) {
  std::vector<std::string> broken;
  const auto now = st.Snapshot();
  const auto copies = CopiesIn(now, before);
  std::optional<std::map<std::string, std::string>> trash;  // read only when looked for

  for (const auto& [path, content] : before.bulletins) {
    const auto here = now.find(path);
    if (here != now.end() && here->second == content) continue;
    if (copies.count(path) != 0) continue;
    if (!trash) trash = st.Trash();
    bool inTrash = false;
    for (const auto& [name, origin] : *trash) {
      inTrash =
          inTrash || (origin == st.Host(path.substr(8)) && now.count("trash:files/" + name) != 0 &&
                      now.at("trash:files/" + name) == content);
    }
    if (!inTrash) broken.push_back("bulletin lost: " + path);
  }

  for (const auto& [path, content] : before.archive) {
    const auto here = now.find(path);
    if (here == now.end() || here->second != content) broken.push_back("archive changed: " + path);
  }
  // Under an archive name there is only ever a whole copy of a bulletin.
  const auto byContent = ByContent(before);
  for (const auto& [path, content] : now) {
    if (IsNewArchiveFile(path, before) && byContent.count(content) == 0)
      broken.push_back("archive file that is no whole bulletin: " + path);
  }

  const auto list = now.find("drive_c/Winpack/Bulls/MARKED.TXT");
  if (list == now.end()) {
    broken.push_back("MARKED.TXT is gone");
    return broken;
  }
  if (list->second == before.marked) return broken;
  const auto oldLines = Lines(before.marked), newLines = Lines(list->second);
  if (oldLines.size() != newLines.size() || !StartsWith(list->second + "\r\n", list->second)) {
    broken.push_back("MARKED.TXT is neither the old list nor a whole new one");
    return broken;
  }
  for (std::size_t i = 0; i < oldLines.size(); ++i) {
    if (newLines[i] == oldLines[i]) continue;
    if (newLines[i] != run::KMark(oldLines[i])) {
      broken.push_back("MARKED.TXT line changed: " + newLines[i]);
      continue;
    }
    const std::string n = oldLines[i].substr(0, 6);
    const std::string path = "drive_c/Winpack/Bulls/" + n.substr(5) + "/" + n + ".TXT";
    if (copies.count(path) == 0) broken.push_back("K mark without a whole copy: " + n);
  }
  return broken;
}

void WinpackWritesAtReplacements(MemoryDisk& disk, std::set<std::string>& written) {
  disk.BeforeEachReplace([&disk, &written] {
    if (written.size() == 3) return;
    const std::string line = "99000" + std::to_string(written.size()) + ",B";
    disk.Append("C:\\Winpack\\Bulls\\MARKED.TXT", line + "\r\n");
    written.insert(line);
  });
}

WinpacksAndOthers SplitMarkedList(const Station& st) {
  WinpacksAndOthers split;
  for (const std::string& line : Lines(st.Read("Winpack/Bulls/MARKED.TXT"))) {
    line.rfind("99000", 0) == 0 ? void(split.winpacks.insert(line))
                                : void(split.others += line + "\r\n");
  }
  return split;
}

}  // namespace test
