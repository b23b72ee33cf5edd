// What only the Windows platform layer does: the file system's own case-insensitive names,
// exclusive create, write-through replacement, the shell's Recycle Bin, the registry and the
// 8-bit code page of names.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "platform/clock.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "platform/settings_store.h"
#include "platform/textfile.h"
#include "platform/wide_win.h"
#include "tests/station.h"

namespace fs = std::filesystem;
using platform::FileError;

namespace {

// A symbolic link, or the reason why the test cannot have one (Wine's CreateSymbolicLinkW
// answers success and makes nothing).
std::string MakeLink(const wchar_t* link, const wchar_t* target, DWORD flags) {
  if (!CreateSymbolicLinkW(link, target, flags | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    return "no symbolic links here: " + platform::win::Reason(GetLastError());
  }
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW(link, &found);
  if (find == INVALID_HANDLE_VALUE) return "the system made no symbolic link";
  FindClose(find);
  return "";
}

TEST(WindowsFiles, NamesMatchWithoutCase) {
  test::Station st;
  platform::Files files;
  st.Write("Winpack/BULLS/MARKED.TXT", "000001,B\r\n");
  st.MakeDir("Winpack/Archive/Bulls/ARES");
  struct Row {
    const char* win;
    bool exists, folder;
  } rows[] = {
      {"C:\\winpack\\bulls\\marked.txt", true, false},
      {"c:\\WINPACK\\Bulls\\Marked.Txt", true, false},
      {"C:\\Winpack\\Archive\\Bulls\\Ares", true, true},
      {"C:\\Winpack\\Archive\\Bulls\\ares\\", true, true},
      {"C:\\Winpack\\Archive\\Bulls\\Wx", false, false},
      {"C:\\Winpack\\Nowhere\\MARKED.TXT", false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.win);
    EXPECT_EQ(files.EntryExists(row.win), row.exists);
    EXPECT_EQ(files.IsDirectory(row.win), row.folder);
  }
  files.ChDir("c:\\winpack\\BULLS");
  EXPECT_EQ(platform::TextReader(files, "marked.txt").ReadLine(), "000001,B");
  EXPECT_THROW(files.ChDir("C:\\Winpack\\BULLS\\MARKED.TXT"), FileError);
  EXPECT_EQ(files.CurDir(), "c:\\winpack\\BULLS");
}

TEST(WindowsFiles, PathsOffDriveCOrOutOfTheirFolderAreRefused) {
  test::Station st;
  platform::Files files;
  for (const char* win : {"D:\\Winpack\\x", "C:\\Winpack\\..\\x", "C:\\Winpack\\.\\x",
                          "C:\\Winpack\\\\x", "C:\\Winpack\\a/b", "C:Winpack"}) {
    SCOPED_TRACE(win);
    EXPECT_THROW(files.HostPath(win), FileError);
    EXPECT_FALSE(platform::TextReader::TryOpen(files, win).has_value());
  }
}

TEST(WindowsFiles, ReplaceTakesThePlaceInOneStep) {
  test::Station st;
  platform::Files files;
  st.Write("Winpack/Bulls/MARKED.TXT", "old\r\n");
  {
    auto tmp = platform::TextWriter::Create(files, "C:\\Winpack\\Bulls\\MARKED.TMP");
    tmp.WriteLine("new");
    tmp.Close();
  }
  files.ReplaceFile("C:\\Winpack\\BULLS\\MARKED.TMP", "C:\\Winpack\\BULLS\\MARKED.TXT");
  EXPECT_EQ(st.Read("Winpack/Bulls/MARKED.TXT"), "new\r\n");
  EXPECT_FALSE(st.Exists("Winpack/Bulls/MARKED.TMP"));
  try {
    files.ReplaceFile("C:\\Winpack\\BULLS\\MARKED.TMP", "C:\\Winpack\\BULLS\\MARKED.TXT");
    ADD_FAILURE() << "no error";
  } catch (const FileError& e) {
    EXPECT_EQ(e.path(), "C:\\Winpack\\BULLS\\MARKED.TXT");
    EXPECT_EQ(e.kind(), FileError::Kind::kNotFound);
  }
  EXPECT_EQ(st.Read("Winpack/Bulls/MARKED.TXT"), "new\r\n");
}

// The same bytes in and out as on Linux: any line end read, CR LF written, 8-bit bytes kept.
TEST(WindowsFiles, TextBytesPassThrough) {
  test::Station st;
  platform::Files files;
  st.Write("Winpack/in.txt", "a\r\nb\nc\rd\xE4\x81\r\n\r\nlast");
  platform::TextReader in(files, "C:\\Winpack\\in.txt");
  std::vector<std::string> lines;
  while (!in.AtEnd()) lines.push_back(in.ReadLine());
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d\xE4\x81", "", "last"}));
  EXPECT_THROW(in.ReadLine(), FileError);
  platform::TextReader again(files, "C:\\Winpack\\in.txt");
  auto out = platform::TextWriter::Create(files, "C:\\Winpack\\out.txt");
  again.CopyRestTo(out);
  out.Close();
  EXPECT_EQ(st.Read("Winpack/out.txt"), "a\r\nb\r\nc\r\nd\xE4\x81\r\n\r\nlast\r\n");
}

// Names are the system's 8-bit code page (Windows-1252 here): on disk they are Unicode.
TEST(WindowsFiles, EightBitNamesAreTheCodePagesLetters) {
  ASSERT_EQ(GetACP(), 1252u) << "the test's names are Windows-1252";
  test::Station st;
  platform::Files files;
  auto out = platform::TextWriter::Create(files, "C:\\Winpack\\\xC4rger \x80.txt");
  out.Close();
  EXPECT_TRUE(fs::exists(fs::path(L"C:/Winpack/\u00C4rger \u20AC.txt")));
  EXPECT_TRUE(files.EntryExists("C:\\Winpack\\\xE4RGER \x80.TXT"));
  files.MakeDir("C:\\Winpack\\Archive\\Bulls\\\xC4rt");
  EXPECT_TRUE(fs::is_directory(fs::path(L"C:/Winpack/Archive/Bulls/\u00C4rt")));
}

TEST(WindowsFiles, WhatIsNotAnOrdinaryFileIsNotRead) {
  test::Station st;
  platform::Files files;
  st.MakeDir("Winpack/Bulls/1/000001.TXT");
  st.Write("Winpack/elsewhere.txt", "not Winpack's");
  st.MakeDir("Winpack/Bulls/3");
  using Links = platform::TextReader::Links;
  EXPECT_FALSE(platform::TextReader::TryOpen(files, "C:\\Winpack\\Bulls\\1\\000001.TXT"));
  const std::string noLink =
      MakeLink(L"C:\\Winpack\\Bulls\\3\\000003.TXT", L"C:\\Winpack\\elsewhere.txt", 0);
  if (!noLink.empty()) GTEST_SKIP() << noLink;
  EXPECT_FALSE(
      platform::TextReader::TryOpen(files, "C:\\Winpack\\Bulls\\3\\000003.TXT", Links::kRefuse));
}

// Below C:\Winpack a link (or junction) names nothing: it could lead out of Winpack's tree.
TEST(WindowsFiles, NoLinkIsFollowedBelowWinpack) {
  test::Station st;
  platform::Files files;
  fs::create_directories("C:/outside");
  st.Write("outside/000009.TXT", "outside");
  const std::string noLink =
      MakeLink(L"C:\\Winpack\\Bulls\\9", L"C:\\outside", SYMBOLIC_LINK_FLAG_DIRECTORY);
  if (!noLink.empty()) {
    fs::remove_all("C:/outside");
    GTEST_SKIP() << noLink;
  }
  EXPECT_TRUE(files.EntryExists("C:\\Winpack\\Bulls\\9"));  // an entry of that name is there
  EXPECT_FALSE(files.IsDirectory("C:\\Winpack\\Bulls\\9"));
  EXPECT_THROW(files.ChDir("C:\\Winpack\\Bulls\\9"), FileError);
  EXPECT_FALSE(files.EntryExists("C:\\Winpack\\Bulls\\9\\000009.TXT"));
  EXPECT_FALSE(platform::TextReader::TryOpen(files, "C:\\Winpack\\Bulls\\9\\000009.TXT"));
  EXPECT_THROW(platform::TextWriter::Create(files, "C:\\Winpack\\Bulls\\9\\new.txt"), FileError);
  EXPECT_FALSE(fs::exists("C:/outside/new.txt"));
  fs::remove_all("C:/outside");
}

TEST(WindowsFiles, RenameNewNeverReplaces) {
  test::Station st;
  platform::Files files;
  st.Write("Winpack/Archive/Bulls/Ares/26120701.TXT", "old");
  st.Write("Winpack/Archive/Bulls/Ares/copy.tmp", "new");
  files.ChDir("C:\\Winpack\\Archive\\Bulls\\Ares");
  EXPECT_FALSE(files.RenameNew("copy.tmp", "26120701.txt"));
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/26120701.TXT"), "old");
  EXPECT_TRUE(files.RenameNew("copy.tmp", "26120702.TXT"));
  files.Flush();
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/26120702.TXT"), "new");
  EXPECT_FALSE(st.Exists("Winpack/Archive/Bulls/Ares/copy.tmp"));
  auto names = files.FileNames("C:\\Winpack\\Archive\\Bulls\\ares");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"26120701.TXT", "26120702.TXT"}));
  EXPECT_TRUE(files.FileNames("C:\\Winpack\\Archive\\Bulls\\Wx").empty());
}

// The run lock is the system's: a second holder is refused until the first lets go, and the
// file goes with the lock.
TEST(WindowsFiles, RunLockIsHeldOnce) {
  test::Station st;
  platform::Files first, second;
  ASSERT_TRUE(first.LockRun("C:\\Winpack\\BULLS\\MARKED.LCK"));
  EXPECT_FALSE(second.LockRun("C:\\Winpack\\Bulls\\marked.lck"));
  first.Unlock();
  EXPECT_FALSE(st.Exists("Winpack/Bulls/MARKED.LCK"));
  EXPECT_TRUE(second.LockRun("C:\\Winpack\\Bulls\\MARKED.LCK"));
}

TEST(RecycleBin, TakesTheFileWithWhereItCameFrom) {
  test::Station st;
  platform::Files files;
  st.Bulletin("000001", "ARES");
  st.Bulletin("010001", "ARES");
  EXPECT_EQ(files.MoveToTrash({"C:\\Winpack\\Bulls\\1\\000001.TXT"}), std::vector<std::string>{""});
  files.ChDir("C:\\Winpack\\Bulls\\1");
  EXPECT_EQ(files.MoveToTrash({"010001.TXT"}),
            std::vector<std::string>{""});  // a bare name is the current folder's
  EXPECT_FALSE(st.Exists("Winpack/Bulls/1/000001.TXT"));
  EXPECT_FALSE(st.Exists("Winpack/Bulls/1/010001.TXT"));
  const auto trash = st.Trash();
  ASSERT_EQ(trash.size(), 2u);
  EXPECT_EQ(trash.at("000001.TXT"), st.Host("Winpack/Bulls/1/000001.TXT"));
  EXPECT_EQ(trash.at("010001.TXT"), st.Host("Winpack/Bulls/1/010001.TXT"));

  const auto refused =
      files.MoveToTrash({"C:\\Winpack\\Bulls\\1\\000001.TXT", "C:\\Winpack\\..\\x"});
  EXPECT_FALSE(refused.at(0).empty());
  EXPECT_FALSE(refused.at(1).empty());
  EXPECT_EQ(st.Trash().size(), 2u);
}

// Values as the classic GetSetting stores them.
TEST(Registry, ReadsTheClassicProgramSettingsKey) {
  const wchar_t* key = L"Software\\VB and VBA Program Settings\\KelvaronTest\\Settings";
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VB and VBA Program Settings\\KelvaronTest");
  const auto set = [&](const wchar_t* name, const std::wstring& value) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  };
  set(L"MainLeft", L"1500,5");
  set(L"MainTop", L"");
  set(L"MainWidth", L"\u00E4\u20AC");
  const DWORD number = 12000;
  RegSetKeyValueW(HKEY_CURRENT_USER, key, L"MainHeight", REG_DWORD, &number, sizeof number);
  struct Row {
    const char* section;
    const char* key;
    std::string expected;
  } rows[] = {
      {"Settings", "MainLeft", "1500,5"},
      {"Settings", "mainleft", "1500,5"},  // the registry ignores the case of names
      {"Settings", "MainTop", ""},
      {"Settings", "MainWidth", "\xE4\x80"},   // in the code page
      {"Settings", "MainHeight", "fallback"},  // not text
      {"Settings", "Missing", "fallback"},
      {"Other", "MainLeft", "fallback"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key);
    EXPECT_EQ(platform::GetSetting("KelvaronTest", row.section, row.key, "fallback"), row.expected);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VB and VBA Program Settings\\KelvaronTest");
}

// Day first whatever the short date format (Wine's default is month first, 12/7/2026).
TEST(Clock, DateIsDayFirstWhateverTheLocale) {
  const std::string text = platform::SystemClock().DateText();
  EXPECT_TRUE(
      std::regex_match(text, std::regex(R"((0[1-9]|[12][0-9]|3[01])-(0[1-9]|1[0-2])-\d{4})")))
      << text;
}

}  // namespace
