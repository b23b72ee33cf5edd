#include "run/marked_list.h"

#include <chrono>
#include <thread>

#include "platform/codepage.h"
#include "run/bulletin.h"
#include "run/paths.h"

namespace run {

std::string MarkedNumOf(const std::string& line) { return line.substr(0, 6); }

Bulletin Bulletin::OfLine(std::string line) {
  Bulletin b;
  b.number = MarkedNumOf(line);
  b.key = platform::UpperCase(b.number);
  b.entry.bulletinPath = BulletinPath(b.number);
  b.entry.line = std::move(line);
  return b;
}

std::string KeyOf(const std::string& line) { return platform::UpperCase(MarkedNumOf(line)); }

std::string BulletinPath(const std::string& markedNum) {
  const std::string last = markedNum.empty() ? "" : markedNum.substr(markedNum.size() - 1);
  return std::string(kBulls) + "\\" + last + "\\" + markedNum + ".TXT";
}

bool NamesOneFile(const std::string& markedNum) {
  return markedNum.find_first_of("\\/") == std::string::npos && markedNum != "." &&
         markedNum != "..";
}

std::string KMark(const std::string& line) {
  const std::size_t comma = line.find(',');
  if (comma == std::string::npos) return line + ",K";
  std::string marked = line;
  marked.insert(comma + 1, 1, 'K');
  return marked;
}

bool IsKMarked(const std::string& line) {
  const std::size_t comma = line.find(',');
  return comma != std::string::npos && comma + 1 < line.size() && line[comma + 1] == 'K';
}

bool NextLine(platform::TextReader& list, std::string& line) {
  // Winpack may write a line in more than one piece: half a line is not a line.
  constexpr int kWaits = 5;
  constexpr auto kWait = std::chrono::milliseconds(20);
  if (list.ReadWholeLine(line)) return true;
  if (list.AtEnd()) return false;
  for (int i = 0; i < kWaits; ++i) {
    std::this_thread::sleep_for(kWait);
    if (list.ReadWholeLine(line)) return true;
  }
  line = list.ReadLine();  // the list's own last line, written without a line end
  return true;
}

std::size_t NewList::Hold(std::string line) {
  held_.push_back(std::move(line));
  return first_ + held_.size() - 1;
}

bool NewList::Mark(std::size_t index) {
  std::string& line = held_.at(index - first_);
  if (IsKMarked(line)) return false;
  line = KMark(line);
  return true;
}

void NewList::WriteHeld() {
  for (const std::string& line : held_) out_.WriteLine(line);
  first_ += held_.size();
  held_.clear();
}

}  // namespace run
