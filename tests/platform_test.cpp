// The platform layer's contract, the same on both systems; what a system lacks (named pipes,
// working symbolic links, a registry) its cases skip at run time.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "platform/textfile.h"
#include "platform/winpath.h"
#include "tests/station.h"

namespace fs = std::filesystem;
using platform::FileError;

namespace {

TEST(WinPath, AbsoluteFormAndNamesThatLeaveDriveC) {
  struct Row {
    const char* name;
    std::string path;
    const char* absolute;  // nullptr: refused
  } rows[] = {
      {"absolute", "C:\\Winpack\\Bulls", "C:\\Winpack\\Bulls"},
      {"trailing backslashes", "C:\\Winpack\\Bulls\\\\", "C:\\Winpack\\Bulls"},
      {"drive root kept", "C:\\", "C:\\"},
      {"rooted", "\\Winpack\\x", "C:\\Winpack\\x"},
      {"bare name at the root", "Winpack", "C:\\Winpack"},
      {"8-bit name", "c:\\winpack\\\xC4rger", "c:\\winpack\\\xC4rger"},
      {"other drive", "D:\\Winpack", nullptr},
      {"drive's current folder", "C:Winpack", nullptr},
      {"parent", "C:\\Winpack\\Bulls\\..\\..\\etc", nullptr},
      {"dot", "C:\\Winpack\\.\\x", nullptr},
      {"empty name", "C:\\Winpack\\\\x", nullptr},
      {"bare parent", "..\\x", nullptr},
      {"slash inside", "C:\\Winpack\\a/b", nullptr},
      {"NUL inside", std::string("C:\\Winpack\\a\0b", 13), nullptr},
      {"dots and more", "C:\\Winpack\\Bulls\\.\\..TXT", nullptr},
  };
  test::Station st;
  platform::Files files;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string abs = platform::winpath::Absolute(row.path);
    if (row.absolute != nullptr) {
      EXPECT_EQ(abs, row.absolute);
      EXPECT_NO_THROW(platform::winpath::Components(abs));
      continue;
    }
    EXPECT_THROW(platform::winpath::Components(abs), FileError);
    EXPECT_THROW(files.EntryExists(abs), FileError);  // names nothing: not even a free name
    EXPECT_FALSE(platform::TextReader::TryOpen(files, abs).has_value());
    EXPECT_THROW(platform::TextWriter::Create(files, abs), FileError);
  }
}

TEST(WinPath, DriveIsTheWinePrefix) {
  if (!test::DriveIsWinePrefix()) GTEST_SKIP() << "drive C: is the system's own";
  test::Station st;
  EXPECT_EQ(platform::DriveRoot(), st.prefix + "/drive_c");
  const std::string home = getenv("HOME") != nullptr ? getenv("HOME") : "";
  test::SetEnv("WINEPREFIX", nullptr);
  test::SetEnv("HOME", "/home/op");
  EXPECT_EQ(platform::DriveRoot(), "/home/op/.wine/drive_c");
  test::SetEnv("HOME", home.c_str());
  test::SetEnv("WINEPREFIX", st.prefix.c_str());
}

std::string ReadFirst(platform::Files& files, const std::string& win) {
  auto in = platform::TextReader::TryOpen(files, win);
  return in && !in->AtEnd() ? in->ReadLine() : "(none)";
}

TEST(WinPath, NamesMatchWithoutCase) {
  test::Station st;
  st.Write("Winpack/Bulls/5/012345.txt", "x");
  st.MakeDir("Winpack/GROUPS/ares");
  st.Write("Winpack/Mixed.txt", "exact");
  st.Write("Winpack/MIXED.txt", "first");
  std::ofstream(fs::path(st.Host("Winpack")) / fs::path(u8"\u00E4rger.txt")) << "8-bit";
  const bool caseSensitiveDisk = st.Read("Winpack/Mixed.txt") == "exact";
  struct Row {
    const char* win;
    const char* content;  // nullptr: a folder; "(none)": nothing
    bool twoSpellings = false;
  } rows[] = {
      {"C:\\WINPACK\\BULLS\\5\\012345.TXT", "x"},
      {"c:\\winpack\\Groups\\ARES\\", nullptr},
      {"C:\\Winpack\\Bulls\\", nullptr},
      {"C:\\Winpack\\Mixed.txt", "exact", true},  // the exact name wins
      {"C:\\Winpack\\mixed.TXT", "first", true},  // else the first in sorted order
      {"C:\\Winpack\\New\\File.txt", "(none)"},
      {"C:\\Winpack\\Archive\\Bulls\\Wx", "(none)"},
  };
  platform::Files files;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.win);
    if (row.twoSpellings && !caseSensitiveDisk) continue;
    EXPECT_EQ(files.EntryExists(row.win), row.content == nullptr || *row.content != '(');
    EXPECT_EQ(files.IsDirectory(row.win), row.content == nullptr);
    if (row.content != nullptr) {
      EXPECT_EQ(ReadFirst(files, row.win), row.content);
    }
  }
  if (test::NamesAreCp1252()) {  // Windows-1252 "ÄRGER", on disk in the disk's own letters
    EXPECT_EQ(ReadFirst(files, "C:\\Winpack\\\xC4RGER.TXT"), "8-bit");
    platform::TextWriter::Create(files, "C:\\Winpack\\\xC4rger \x80.txt").Close();
    EXPECT_TRUE(fs::exists(fs::path(st.Host("Winpack")) / fs::path(u8"\u00C4rger \u20AC.txt")));
    files.MakeDir("C:\\Winpack\\Archive\\Bulls\\\xC4rt");
    EXPECT_TRUE(
        fs::is_directory(fs::path(st.Host("Winpack/Archive/Bulls")) / fs::path(u8"\u00C4rt")));
  }
  // No current directory: a bare name is the drive root's, whatever was named before.
  EXPECT_EQ(ReadFirst(files, "C:\\winpack\\bulls\\5\\012345.txt"), "x");
  EXPECT_EQ(files.AbsoluteWinPath("Select.TXT"), "C:\\Select.TXT");
  EXPECT_EQ(ReadFirst(files, "012345.txt"), "(none)");
  try {
    platform::TextReader(files, "C:\\Winpack\\Nowhere\\012345.TXT");
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(e.kind(), FileError::Kind::kNotFound);
    EXPECT_EQ(e.path(), "C:\\Winpack\\Nowhere\\012345.TXT");
  }
}

// Below a folder that is not there nothing is found or made, not even where the names, taken
// from the host's own root, would name something there.
TEST(WinPath, NothingBelowAMissingFolderReachesOutOfTheDrive) {
  test::Station st;
  const struct Row {
    const char* name;
    const char* win;
    const char* leaf;
  } rows[] = {
      {"a folder the host's root holds", "C:\\Winpack\\Nowhere\\tmp", "tmp"},
      {"two folders missing", "C:\\Nowhere\\Else\\usr", "usr"},
      {"a new name", "C:\\Winpack\\Nowhere\\Kelvaron-outside", "Kelvaron-outside"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    platform::Files files;
    EXPECT_FALSE(files.EntryExists(row.win));
    EXPECT_FALSE(files.IsDirectory(row.win));
    const bool hostHadIt = fs::exists(fs::path("/") / row.leaf);
    try {
      files.MakeDir(row.win);
      ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
      EXPECT_EQ(e.kind(), FileError::Kind::kNotFound) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind(std::string(row.win) + ": ", 0), 0u) << e.what();
    }
    if (!hostHadIt && fs::exists(fs::path("/") / row.leaf)) {
      fs::remove(fs::path("/") / row.leaf);
      ADD_FAILURE() << "made at the host's root";
    }
    EXPECT_FALSE(st.Exists("Winpack/Nowhere"));
  }
}

TEST(WinPath, ARunSeesItsOwnChangesAndTheNextRunOthers) {
  test::Station st;
  platform::Files files;
  EXPECT_FALSE(files.EntryExists("C:\\Winpack\\Bulls\\abc.txt"));
  platform::TextWriter::Create(files, "C:\\Winpack\\Bulls\\ABC.TXT").Close();
  EXPECT_TRUE(files.EntryExists("C:\\Winpack\\Bulls\\abc.txt"));
  files.RemoveFile("C:\\Winpack\\Bulls\\abc.txt");
  EXPECT_FALSE(files.EntryExists("C:\\Winpack\\Bulls\\abc.txt"));
  files.MakeDir("C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp");
  EXPECT_TRUE(files.IsDirectory("C:\\Winpack\\Archive\\Bulls\\KELVARON.TMP"));
  st.Write("Winpack/Archive/Bulls/Kelvaron.tmp/x", "");
  EXPECT_THROW(files.RemoveDir("C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp"), FileError);
  files.RemoveFile("C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp\\x");
  files.RemoveDir("C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp");
  EXPECT_FALSE(files.EntryExists("C:\\Winpack\\Archive\\Bulls\\Kelvaron.tmp"));
  EXPECT_FALSE(st.Exists("Winpack/Archive/Bulls/Kelvaron.tmp"));
  st.Write("Winpack/Bulls/DEF.TXT", "x");  // made behind the run's back
  platform::Files nextRun;
  EXPECT_TRUE(nextRun.EntryExists("C:\\Winpack\\Bulls\\def.txt"));
}

std::vector<std::string> ReadAll(const std::string& win) {
  platform::Files files;
  platform::TextReader reader(files, win);
  std::vector<std::string> lines;
  while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
  return lines;
}

// Any line end read, CR LF written, every other byte passed through.
TEST(TextFiles, LineEndsAndBytes) {
  test::Station st;
  const std::string longLine(64 * 1024 - 1, 'x');  // puts a CR LF across the buffer's edge
  std::string all;
  for (int b = 0; b < 256; ++b) all += b != '\r' && b != '\n' ? std::string(1, char(b)) : "";
  struct Row {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
  } rows[] = {
      {"empty file", "", {}},
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"LF only", "a\nb\n", {"a", "b"}},
      {"CR only", "a\rb\r", {"a", "b"}},
      {"mixed", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"no final line end", "a\r\nlast", {"a", "last"}},
      {"empty lines", "\r\n\n\r", {"", "", ""}},
      {"CR CR LF", "a\r\r\n", {"a", ""}},
      {"CR LF across the buffer", longLine + "\r\ny", {longLine, "y"}},
      {"lines over three buffers",
       longLine + longLine + "\r" + longLine + longLine + "y",
       {longLine + longLine, longLine + longLine + "y"}},
      {"8-bit bytes and NUL",
       std::string("\x80\xFF\xE4\x00z\r\n", 7),
       {std::string("\x80\xFF\xE4\x00z", 5)}},
      {"every other byte", all, {all}},
  };
  platform::Files files;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    st.Write("Winpack/t.txt", row.bytes);
    EXPECT_EQ(ReadAll("C:\\Winpack\\t.txt"), row.lines);
    platform::TextReader in(files, "C:\\Winpack\\t.txt");
    auto out = platform::TextWriter::Create(files, "C:\\Winpack\\out.txt");
    in.CopyRestTo(out);
    out.Close();
    std::string written;
    for (const std::string& line : row.lines) written += line + "\r\n";
    EXPECT_EQ(st.Read("Winpack/out.txt"), written);
    // A second reader that passes over what a first one read goes on where it stopped.
    platform::TextReader first(files, "C:\\Winpack\\t.txt");
    first.ReadLineOrEmpty();
    platform::TextReader second(files, "C:\\Winpack\\t.txt");
    second.Skip(first.Consumed());
    std::vector<std::string> rest;
    while (!second.AtEnd()) rest.push_back(second.ReadLine());
    EXPECT_EQ(rest, std::vector<std::string>(row.lines.begin() + (row.lines.empty() ? 0 : 1),
                                             row.lines.end()));
  }
  platform::TextReader reader(files, "C:\\Winpack\\t.txt");
  reader.ReadLine();
  EXPECT_THROW(reader.ReadLine(), FileError);  // reading past the end
  EXPECT_EQ(reader.ReadLineOrEmpty(), "");
  // The LF of a CR LF written after the first reader stopped at the CR is no line of its own.
  st.Write("Winpack/t.txt", "a\r");
  platform::TextReader early(files, "C:\\Winpack\\t.txt");
  early.ReadLine();
  st.Write("Winpack/t.txt", "a\r\nb\r\n");
  platform::TextReader late(files, "C:\\Winpack\\t.txt");
  late.Skip(early.Consumed());
  EXPECT_EQ(late.ReadLine(), "b");
  // What is past the last line end is read again: a file system may show a file grown
  // before the bytes written are in it (zeros).
  st.Write("Winpack/t.txt", "a\r\n" + std::string(3, '\0'));
  platform::TextReader live(files, "C:\\Winpack\\t.txt");
  std::string line;
  EXPECT_TRUE(live.ReadWholeLine(line));
  EXPECT_FALSE(live.ReadWholeLine(line));
  st.Write("Winpack/t.txt", "a\r\nbc\r\nd");
  EXPECT_TRUE(live.ReadWholeLine(line));
  EXPECT_EQ(line, "bc");
  // Nor is a CR the line's end while its LF may still be on the way.
  st.Write("Winpack/t.txt", "a\r\nbc\r\nd\r");
  EXPECT_FALSE(live.ReadWholeLine(line));
  st.Write("Winpack/t.txt", "a\r\nbc\r\nd\r\ne");
  EXPECT_TRUE(live.ReadWholeLine(line));
  EXPECT_EQ(line, "d");
  EXPECT_EQ(live.ReadLine(), "e");
}

TEST(TextReader, RefusesWhatIsNotAnOrdinaryFile) {
  test::Station st;
  st.MakeDir("Winpack/folder");
  platform::Files files;
  EXPECT_THROW(platform::TextReader(files, "C:\\Winpack\\folder"), FileError);
  try {
    platform::TextReader(files, "C:\\Winpack\\missing.txt");
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(e.kind(), FileError::Kind::kNotFound);
    EXPECT_NE(std::string(e.what()).find("C:\\Winpack\\missing.txt"), std::string::npos);
  }
  if (test::MakeFifo(st.Host("Winpack/fifo"))) {
    EXPECT_THROW(platform::TextReader(files, "C:\\Winpack\\fifo"), FileError);  // must not wait
  }
}

// The operator may keep a part of Winpack's tree elsewhere (the archive on another disk): a
// link to a folder is that folder for both programs.
TEST(Links, FoldersLinkedIntoWinpacksTreeAreFollowed) {
  if (!test::CanMakeSymlinks()) GTEST_SKIP() << "no symbolic links here";
  test::Station st;
  const std::string disk = st.Host("Winpack/Disk2");
  fs::create_directories(disk + "/Bulls/Ares");
  fs::remove_all(st.Host("Winpack/Archive"));
  fs::create_directory_symlink(disk, st.Host("Winpack/Archive"));
  st.Write("Winpack/Old/000009.TXT", "ninth");
  fs::create_directory_symlink(st.Host("Winpack/Old"), st.Host("Winpack/Bulls/9"));
  platform::Files files;
  EXPECT_TRUE(files.IsDirectory("C:\\Winpack\\Archive"));
  const std::string folder = "C:\\Winpack\\ARCHIVE\\Bulls\\ares\\";
  platform::TextWriter::Create(files, folder + "copy.tmp").Close();
  EXPECT_TRUE(files.RenameNew(folder + "copy.tmp", folder + "26120701.TXT"));
  files.MakeDir("C:\\Winpack\\Archive\\Bulls\\Wx");
  EXPECT_EQ(files.FileNames("C:\\Winpack\\Archive\\Bulls\\Ares"),
            std::vector<std::string>{"26120701.TXT"});
  EXPECT_TRUE(fs::exists(disk + "/Bulls/Ares/26120701.TXT"));
  EXPECT_TRUE(fs::is_directory(disk + "/Bulls/Wx"));
  EXPECT_TRUE(platform::TextReader::TryOpen(files, "C:\\Winpack\\Bulls\\9\\000009.TXT",
                                            platform::TextReader::Links::kRefuse));
  EXPECT_EQ(files.MoveToTrash({"C:\\Winpack\\Bulls\\9\\000009.TXT"})[0], "");
  EXPECT_FALSE(st.Exists("Winpack/Old/000009.TXT"));
  // A bulletin that is itself a link may be refused.
  fs::create_symlink(st.Host("Winpack/precious.txt"), st.Host("Winpack/Bulls/9/000019.TXT"));
  st.Write("Winpack/precious.txt", "x");
  EXPECT_THROW(platform::TextReader(files, "C:\\Winpack\\Bulls\\9\\000019.TXT",
                                    platform::TextReader::Links::kRefuse),
               FileError);
  EXPECT_EQ(ReadFirst(files, "C:\\Winpack\\Bulls\\9\\000019.TXT"), "x");
}

// The files the run writes are its own: an entry already there by the name (a hard link or
// a symbolic link to a file elsewhere) is never written through.
TEST(TextWriter, CreateMakesAFileAnewAndAppendRefusesOneWithOtherNames) {
  enum Entry { kNone, kPlain, kHardLink, kSymlink, kFolder };
  struct Row {
    const char* name;
    Entry entry;
    bool append;
    std::vector<std::string> after;  // empty: refused
    const char* reason = "";
  } rows[] = {
      {"create, nothing there", kNone, false, {"new"}},
      {"create over a file", kPlain, false, {"new"}},
      {"create over a hard link", kHardLink, false, {"new"}},
      {"create over a symbolic link", kSymlink, false, {"new"}},
      {"create over a folder", kFolder, false, {}},
      {"append, nothing there", kNone, true, {"new"}},
      {"append to a file", kPlain, true, {"old", "new"}},
      {"append to a hard link", kHardLink, true, {}, "the file has other names (hard links)"},
      {"append to a symbolic link", kSymlink, true, {}, "not an ordinary file"},
      {"append to a folder", kFolder, true, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if ((row.entry == kHardLink && !test::CanMakeHardLinks()) ||
        (row.entry == kSymlink && !test::CanMakeSymlinks())) {
      continue;
    }
    test::Station st;
    st.Write("Winpack/precious.txt", "old\r\n");
    const std::string jnl = st.Host("Winpack/Bulls/MARKED.JNL");
    if (row.entry == kPlain) st.Write("Winpack/Bulls/MARKED.JNL", "old\r\n");
    if (row.entry == kHardLink) fs::create_hard_link(st.Host("Winpack/precious.txt"), jnl);
    if (row.entry == kSymlink) fs::create_symlink(st.Host("Winpack/precious.txt"), jnl);
    if (row.entry == kFolder) st.MakeDir("Winpack/Bulls/MARKED.JNL");
    platform::Files files;
    const char* win = "C:\\Winpack\\BULLS\\marked.jnl";  // the entry in another case
    try {
      auto out = row.append ? platform::TextWriter::Append(files, win)
                            : platform::TextWriter::Create(files, win);
      out.WriteLine("new");
      out.Close();
      EXPECT_EQ(ReadAll("C:\\Winpack\\Bulls\\MARKED.JNL"), row.after);
    } catch (const FileError& e) {
      EXPECT_TRUE(row.after.empty()) << e.what();
      EXPECT_EQ(e.path(), win);
      if (*row.reason != '\0') {
        EXPECT_EQ(e.reason(), row.reason);
      }
    }
    EXPECT_EQ(st.Read("Winpack/precious.txt"), "old\r\n");
  }
}

// Replacing takes the place in one step; RenameNew never replaces.
TEST(Files, RenamesLoseNoName) {
  test::Station st;
  platform::Files files;
  st.Write("Winpack/Bulls/MARKED.TXT", "old\r\n");
  auto tmp = platform::TextWriter::Create(files, "C:\\Winpack\\Bulls\\MARKED.TMP");
  tmp.WriteLine("new");
  tmp.Close();
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

  st.Write("Winpack/Archive/Bulls/Ares/26120701.TXT", "old");
  st.Write("Winpack/Archive/Bulls/Ares/copy.tmp", "new");
  st.MakeDir("Winpack/Archive/Bulls/Ares/26120702.TXT");
  const std::string ares = "C:\\Winpack\\Archive\\Bulls\\Ares\\";
  EXPECT_TRUE(files.EntryExists(ares + "26120701.txt"));  // the caller's look at other spellings
  EXPECT_FALSE(files.RenameNew(ares + "copy.tmp", ares + "26120701.TXT"));
  EXPECT_FALSE(files.RenameNew(ares + "copy.tmp", ares + "26120702.TXT"));
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/26120701.TXT"), "old");
  EXPECT_TRUE(files.RenameNew(ares + "copy.tmp", ares + "26120703.TXT"));
  files.Flush();
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/26120703.TXT"), "new");
  EXPECT_FALSE(st.Exists("Winpack/Archive/Bulls/Ares/copy.tmp"));
  auto names = files.FileNames("C:\\Winpack\\Archive\\Bulls\\ares");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"26120701.TXT", "26120703.TXT"}));
  EXPECT_TRUE(files.FileNames("C:\\Winpack\\Archive\\Bulls\\Wx").empty());
  // A name the code page cannot spell is listed as no other file's name.
  if (test::UseCodePage(st, 1252)) {
    std::ofstream(fs::path(st.Host("Winpack/Archive/Bulls/Ares")) / std::u8string(u8"\u0141x.TXT"));
    names = files.FileNames("C:\\Winpack\\Archive\\Bulls\\Ares");
    EXPECT_EQ(std::count(names.begin(), names.end(), "?x.TXT"), 1);
  }

  // A second name keeps a file that another takes the place of; a name taken is refused.
  if (!test::CanMakeHardLinks()) return;
  EXPECT_FALSE(files.LinkNew(ares + "26120703.TXT", ares + "26120701.TXT"));
  ASSERT_TRUE(files.LinkNew(ares + "26120703.TXT", ares + "was.txt"));
  st.Write("Winpack/Archive/Bulls/Ares/copy.tmp", "newer");
  files.ReplaceFile(ares + "copy.tmp", ares + "26120703.TXT");
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/26120703.TXT"), "newer");
  EXPECT_EQ(st.Read("Winpack/Archive/Bulls/Ares/was.txt"), "new");
}

// A program that found a file by its name just before the name went to another file may have
// it open only a moment later, and write to it: a wait for the file to be alone waits that out.
TEST(Files, AnOpenOnItsWayIsWaitedFor) {
  if (!test::OpenFilesCanBeReplaced()) GTEST_SKIP() << "the system replaces no open file";
  test::Station st;
  platform::Files files;
  st.Write("Winpack/Bulls/MARKED.WAS", "old\r\n");
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ofstream(st.Host("Winpack/Bulls/MARKED.WAS"), std::ios::app | std::ios::binary)
        << "late\r\n";
  });
  EXPECT_TRUE(files.AwaitAlone("C:\\Winpack\\Bulls\\MARKED.WAS", platform::Look::kSecondName,
                               std::chrono::seconds(3)));
  EXPECT_EQ(st.Read("Winpack/Bulls/MARKED.WAS"), "old\r\nlate\r\n");
  late.join();
}

// A second holder is refused until the first lets go, and the file goes with the lock.
TEST(Files, RunLockIsHeldOnce) {
  test::Station st;
  platform::Files first, second;
  ASSERT_TRUE(first.LockRun("C:\\Winpack\\BULLS\\MARKED.LCK"));
  EXPECT_FALSE(second.LockRun("C:\\Winpack\\Bulls\\marked.lck"));
  first.Unlock();
  EXPECT_FALSE(st.Exists("Winpack/Bulls/MARKED.LCK"));
  EXPECT_TRUE(second.LockRun("C:\\Winpack\\Bulls\\MARKED.LCK"));
}

TEST(Trash, TakesTheFilesWithWhereTheyCameFrom) {
  test::Station st;
  st.Write("Winpack/Bulls/5/a b%.TXT", "bulletin");
  st.Bulletin("010001", "ARES");
  platform::Files files;
  const auto reasons =
      files.MoveToTrash({"C:\\Winpack\\Bulls\\5\\a b%.TXT", "C:\\winpack\\bulls\\1\\010001.TXT",
                         "C:\\Winpack\\Bulls\\1\\none.TXT", "C:\\Winpack\\..\\x"});
  ASSERT_EQ(reasons.size(), 4u);
  EXPECT_EQ(reasons[0], "");
  EXPECT_EQ(reasons[1], "");  // found in any letter case
  EXPECT_NE(reasons[2], "");
  EXPECT_NE(reasons[3], "");
  EXPECT_FALSE(st.Exists("Winpack/Bulls/5/a b%.TXT"));
  const auto trash = st.Trash();
  ASSERT_EQ(trash.size(), 2u);
  EXPECT_EQ(trash.at("a b%.TXT"), st.Host("Winpack/Bulls/5/a%20b%25.TXT"));
  EXPECT_EQ(trash.at("010001.TXT"), st.Host("Winpack/Bulls/1/010001.TXT"));
  EXPECT_EQ(st.Snapshot().at("trash:files/a b%.TXT"), "bulletin");
}

TEST(Trash, SameNameTwiceAndAMissingTrash) {
  if (!test::HasFreedesktopTrash()) GTEST_SKIP() << "the system's trash keeps its own names";
  test::Station st;
  st.Write("Winpack/Bulls/1/000001.TXT", "first");
  st.Write("Winpack/Bulls/2/000001.TXT", "second");
  platform::Files files;
  EXPECT_EQ(files.MoveToTrash({"C:\\Winpack\\Bulls\\1\\000001.TXT"})[0], "");
  std::filesystem::remove_all(test::TrashDir());  // emptied for good behind our back
  EXPECT_EQ(files.MoveToTrash({"C:\\Winpack\\Bulls\\2\\000001.TXT"})[0], "");
  st.Write("Winpack/Bulls/1/000001.TXT", "third");
  platform::Files later;  // the file came back behind the first one's back
  EXPECT_EQ(later.MoveToTrash({"C:\\Winpack\\Bulls\\1\\000001.TXT"})[0], "");
  const auto trash = st.Trash();
  ASSERT_EQ(trash.size(), 2u);
  EXPECT_EQ(trash.at("000001.TXT"), st.Host("Winpack/Bulls/2/000001.TXT"));
  EXPECT_EQ(trash.at("000001.TXT.2"), st.Host("Winpack/Bulls/1/000001.TXT"));
  EXPECT_EQ(st.Snapshot().at("trash:files/000001.TXT.2"), "third");
}

// The system's texts (its error messages) are UTF-8; the program shows Windows-1252.
TEST(CodePage, SystemTextsInTheProgramsCodePage) {
  const std::pair<std::string, std::string> rows[] = {
      {"No such file or directory", "No such file or directory"},
      {"Aucun fichier ou dossier de ce type", "Aucun fichier ou dossier de ce type"},
      {"P\xC3\xA9riph\xC3\xA9rique ou ressource occup\xC3\xA9",
       "P\xE9riph\xE9rique ou ressource occup\xE9"},
      {"Datei \xE2\x80\x9E\xC3\xA4\xE2\x80\x9C \xE2\x82\xAC", "Datei \x84\xE4\x93 \x80"},
      {"\xE4\xB8\xAD \xF0\x9F\x93\xBB", "? ?"},  // not in the code page
      {"broken \xC3", "broken ?"},
  };
  const platform::CodePage& page = platform::CodePage::Known(1252);
  for (const auto& [utf8, cp1252] : rows) {
    SCOPED_TRACE(utf8);
    EXPECT_EQ(page.FromUtf8(utf8), cp1252);
    if (cp1252.find('?') == std::string::npos) {
      EXPECT_EQ(page.ToUtf8(cp1252), utf8);
    }
  }
}

// Wine records the code page of the prefix's Windows in its machine registry; anything
// else there, or a value that is not a number, records none.
TEST(CodePage, RecordedInTheWinePrefixsRegistry) {
  const std::string key =
      "[System\\\\CurrentControlSet\\\\Control\\\\Nls\\\\CodePage] 1733666000\n";
  const struct {
    const char* name;
    std::string reg;
    unsigned acp;
  } rows[] = {
      {"as Wine 8 writes it",
       "WINE REGISTRY Version 2\n\n" + key +
           "#time=1db\n\"1250\"=\"c_1250.nls\"\n\"ACP\"=\"1251\"\n\"OEMCP\"=\"866\"\n",
       1251},
      {"CR LF lines", "\r\n" + key.substr(0, key.size() - 1) + "\r\n\"ACP\"=\"1250\"\r\n", 1250},
      {"the key in other letters",
       "[system\\\\currentcontrolset\\\\control\\\\nls\\\\codepage]\n\"ACP\"=\"1252\"\n", 1252},
      {"no such key", "[Software\\\\Wine]\n\"ACP\"=\"1251\"\n", 0},
      {"the value under the next key",
       key + "\"OEMCP\"=\"437\"\n\n[System\\\\Other]\n\"ACP\"=\"1251\"\n", 0},
      {"empty value", key + "\"ACP\"=\"\"\n", 0},
      {"not a number", key + "\"ACP\"=\"12x1\"\n", 0},
      {"no closing quote", key + "\"ACP\"=\"1251", 0},
      {"empty file", "", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(platform::RecordedAnsiCodePage(row.reg), row.acp);
  }
}

// Windows' own case (CharUpperBuffW and CharLowerBuffW through the ANSI code page) and the
// tables the Linux program carries give every byte the same case and character.
TEST(CodePage, SystemsOwnCaseAgreesWithTheTables) {
  const platform::CodePage& system = platform::SystemCodePage();
  const platform::CodePage& known = platform::CodePage::Known(system.Number());
  if (known.Number() != system.Number()) GTEST_SKIP() << "code page " << system.Number();
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    SCOPED_TRACE(b);
    EXPECT_EQ(system.ToUnicode(c), known.ToUnicode(c));
    EXPECT_EQ(system.Upper(c), known.Upper(c));
    EXPECT_EQ(system.Lower(c), known.Lower(c));
  }
}

TEST(CodePage, CaseOfTheCodePagesLetters) {
  const platform::CodePage& page = platform::CodePage::Known(1252);
  EXPECT_EQ(page.UpperCase("ares wx 4x4"), "ARES WX 4X4");
  EXPECT_EQ(page.UpperCase("\xE4\xF6\xFC\xFF\x9A\xDF\xF7"), "\xC4\xD6\xDC\x9F\x8A\xDF\xF7");
  EXPECT_EQ(page.LowerCase("\xC4\xD6\xDC\x9F\x8A\xD7"), "\xE4\xF6\xFC\xFF\x9A\xD7");
  EXPECT_EQ(page.ToUtf8("\x80\xE4"), "\xE2\x82\xAC\xC3\xA4");
  EXPECT_EQ(page.FoldedName("\xC3\x84RGER"), page.FoldedName("\xC3\xA4rger"));
  EXPECT_EQ(page.FoldedName("\xC5\xB8"), page.FoldedName("\xC3\xBF"));  // Ÿ and ÿ
  EXPECT_NE(page.FoldedName("\xC3\x9F"), page.FoldedName("ss"));
}

// Values as the classic GetSetting of Windows programs stores them.
TEST(Registry, ReadsTheClassicProgramSettingsKey) {
  if (!test::SaveClassicSettings("KelvaronTest", {{"MainLeft", L"1500,5"},
                                                  {"MainTop", L""},
                                                  {"MainWidth", L"\u00E4\u20AC"},
                                                  {"MainHeight", std::nullopt}})) {
    GTEST_SKIP() << "no registry here";
  }
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
    // Its bytes are Windows-1252's: a system of another code page has others, or none.
    if (std::string(row.key) == "MainWidth" && !test::NamesAreCp1252()) continue;
    EXPECT_EQ(test::ClassicSetting("KelvaronTest", row.section, row.key, "fallback"), row.expected);
  }
  test::SaveClassicSettings("KelvaronTest", {});
}

// Day first whatever the short date format (Wine's default is month first, 12/7/2026).
TEST(Clock, DateIsDayFirstWhateverTheLocale) {
  const std::string text = platform::SystemClock().DateText();
  EXPECT_TRUE(
      std::regex_match(text, std::regex(R"((0[1-9]|[12][0-9]|3[01])-(0[1-9]|1[0-2])-\d{4})")))
      << text;
}

}  // namespace
