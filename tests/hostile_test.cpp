#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string_view>

#include "run/marked_list.h"
#include "run/messages.h"
#include "tests/child.h"
#include "tests/invariants.h"
#include "tests/runner.h"

namespace fs = std::filesystem;
using Kind = run::Reporter::Kind;

namespace {

test::Runner::Messages ArchiveOnce() { return test::Runner().Run(); }

// Input that others wrote may be hostile: nothing may be written outside Winpack's bulletin
// folder, the archive and the trash.
TEST(Hostile, NamesThatTryToLeaveTheirFolder) {
  test::Station st;
  test::MakeSmallStation(st);
  st.Write("Winpack/Kelvaron.INI", "#\r\n[Kelvaron]\r\n..\r\nA\\B\r\n/ETC\r\nC:\r\n*\r\nWX\r\n");
  st.Write("Winpack/Bulls/1/000001.TXT", "h\r\nFrom: PA3XYZ ..    \r\n");
  st.Write("Winpack/Bulls/2/000002.TXT", "h\r\nFrom: PA3XYZ A\\B   \r\n");
  st.Write("Winpack/Bulls/3/000003.TXT", "h\r\nFrom: PA3XYZ /ETC  \r\n");
  st.Write("Winpack/Bulls/4/000004.TXT", "h\r\nFrom: PA3XYZ *     \r\n");
  st.Write("Winpack/outside.TXT", test::Station::BulletinText("000009", "WX"));
  st.Write("Winpack/Bulls/5/1/2345.TXT", test::Station::BulletinText("1\\2345", "WX"));
  st.Write("Winpack/Bulls/MARKED.TXT",
           "000001,B\r\n000002,B\r\n000003,B\r\n000004,B\r\n..\\..\\,B\r\n../out,B\r\n"
           "\\..\\ou,B\r\n/etc/p,B\r\n..\\out,B\r\n1\\2345,B\r\n000102,B\r\n");
  const auto before = st.Snapshot();
  const auto messages = ArchiveOnce();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().second, run::kFinished);
  auto after = st.Snapshot();
  // Only 000102 (group WX) moved; every other file is as it was.
  EXPECT_EQ(after.count("drive_c/Winpack/Archive/Bulls/Wx/26120701.TXT"), 1u);
  after.erase("drive_c/Winpack/Archive/Bulls/Wx/26120701.TXT");
  after.erase("drive_c/Winpack/Bulls/MARKED.TXT");
  auto expected = before;
  expected.erase("drive_c/Winpack/Bulls/2/000102.TXT");
  expected.erase("drive_c/Winpack/Bulls/MARKED.TXT");
  for (auto it = after.begin(); it != after.end();) {
    it = it->first.rfind("trash:", 0) == 0 ? after.erase(it) : std::next(it);
  }
  EXPECT_EQ(after, expected);
  EXPECT_EQ(st.Trash().size(), 1u);
  for (const auto& e : fs::recursive_directory_iterator(st.root)) {
    EXPECT_EQ(e.path().string().find("/ETC"), std::string::npos) << e.path();
  }
}

// A station's file of hundreds of megabytes, written and compared a piece at a time: joined
// in memory they would cost the test more than the run it tests, and raise the high-water
// mark the run's own is measured from.
void WritePieces(const test::Station& st, const std::string& rel,
                 std::initializer_list<std::string_view> pieces) {
  std::ofstream out(st.Host(rel), std::ios::binary | std::ios::trunc);
  for (std::string_view piece : pieces) out.write(piece.data(), std::streamsize(piece.size()));
}

bool IsJoined(const test::Station& st, const std::string& rel,
              std::initializer_list<std::string_view> pieces) {
  std::ifstream in(st.Host(rel), std::ios::binary);
  std::string read;
  for (std::string_view piece : pieces) {
    read.resize(piece.size());
    if (!in.read(read.data(), std::streamsize(piece.size())) || read != piece) return false;
  }
  return in.peek() == std::ifstream::traits_type::eof();
}

TEST(Hostile, HundredMegabyteLines) {
  test::Station st;
  test::MakeSmallStation(st);
  const std::string huge(100 * 1024 * 1024, 'x');
  const std::string head = test::Station::BulletinText("000101", "ARES", "");
  WritePieces(st, "Winpack/Bulls/1/000101.TXT", {head, huge, "\n", huge});
  WritePieces(st, "Winpack/Bulls/MARKED.TXT", {"000101,", huge, "\n"});
  const long peakBefore = test::PeakKiB();
  const auto messages = ArchiveOnce();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().second, run::kFinished);
  EXPECT_TRUE(
      IsJoined(st, "Winpack/Archive/Bulls/ARES/26120702.TXT", {head, huge, "\r\n", huge, "\r\n"}));
  EXPECT_TRUE(IsJoined(st, "Winpack/Bulls/MARKED.TXT", {"000101,K", huge, "\r\n"}));
  // A line is held whole, a few times over, but never the whole file or list.
  EXPECT_LT(test::PeakKiB() - peakBefore, 1024L * 1024);
}

TEST(Hostile, MillionLineMarkedList) {
  test::Station st;
  test::MakeSmallStation(st);
  st.Write("Winpack/Bulls/Lastnum.txt", "99999999\r\n");
  std::string list;
  list.reserve(15'000'000);
  for (int i = 0; i < 1'000'000; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "%06d,B,ARES  \r\n", i);
    list += line;
  }
  st.Write("Winpack/Bulls/MARKED.TXT", list);
  const auto messages = ArchiveOnce();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back().second, run::kFinished);
  const std::string after = st.Read("Winpack/Bulls/MARKED.TXT");
  EXPECT_EQ(after.size(), list.size() + 6);  // the six bulletins of the station were moved
  EXPECT_EQ(after.substr(0, 30), list.substr(0, 30));
}

}  // namespace
