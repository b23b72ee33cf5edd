#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/codepage.h"
#include "platform/file_error.h"
#include "platform/files.h"
#include "platform/textfile.h"
#include "tests/station.h"

namespace fs = std::filesystem;
using platform::FileError;

namespace {

TEST(WinPath, DriveIsTheWinePrefix) {
  test::Station st;
  EXPECT_EQ(platform::DriveRoot(), st.prefix + "/drive_c");
  const std::string home = getenv("HOME") != nullptr ? getenv("HOME") : "";
  unsetenv("WINEPREFIX");
  setenv("HOME", "/home/op", 1);
  EXPECT_EQ(platform::DriveRoot(), "/home/op/.wine/drive_c");
  setenv("HOME", home.c_str(), 1);
  setenv("WINEPREFIX", st.prefix.c_str(), 1);
}

TEST(WinPath, ComponentsMatchWithoutCase) {
  test::Station st;
  platform::Files files;
  st.Write("Winpack/Bulls/5/012345.txt", "x");
  st.MakeDir("Winpack/ARCHIVE/bulls");
  st.MakeDir("Winpack/Mixed");
  st.MakeDir("Winpack/MIXED");
  st.Write("Winpack/\xC3\xA4rger.txt", "8-bit");  // "ärger" on disk, UTF-8
  struct Row {
    const char* win;
    std::string host;
  } rows[] = {
      {"C:\\WINPACK\\BULLS\\5\\012345.TXT", "Winpack/Bulls/5/012345.txt"},
      {"c:\\winpack\\archive\\Bulls", "Winpack/ARCHIVE/bulls"},
      {"C:\\Winpack\\Mixed", "Winpack/Mixed"},                    // the exact name wins
      {"C:\\Winpack\\mixed", "Winpack/MIXED"},                    // else the first in sorted order
      {"C:\\Winpack\\\xC4RGER.TXT", "Winpack/\xC3\xA4rger.txt"},  // Windows-1252 "ÄRGER"
      {"C:\\Winpack\\New\\File.txt", "Winpack/New/File.txt"},     // not there: as written
      {"C:\\Winpack\\Bulls\\", "Winpack/Bulls"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.win);
    EXPECT_EQ(files.HostPath(row.win), st.Host(row.host));
  }
}

TEST(WinPath, PathsThatLeaveTheirFolderAreRefused) {
  test::Station st;
  platform::Files files;
  for (const char* win :
       {"C:\\Winpack\\Bulls\\..\\..\\etc", "C:\\Winpack\\.\\x", "C:\\Winpack\\Bulls\\\\.TXT",
        "C:\\Winpack\\a/b", "D:\\Winpack", "C:\\Winpack\\Bulls\\.\\..TXT"}) {
    SCOPED_TRACE(win);
    EXPECT_THROW(files.HostPath(win), FileError);
  }
  EXPECT_THROW(platform::TextReader(files, "C:\\Winpack\\..\\x"), FileError);
}

TEST(WinPath, CurrentDirectoryHoldsBareNames) {
  test::Station st;
  platform::Files files;
  EXPECT_EQ(files.CurDir(), "C:\\");
  files.ChDir("C:\\winpack\\bulls");
  EXPECT_EQ(files.CurDir(), "C:\\winpack\\bulls");
  EXPECT_EQ(files.HostPath("Select.TXT"), st.Host("Winpack/Bulls/Select.TXT"));
  EXPECT_EQ(files.AbsoluteWinPath("Select.TXT"), "C:\\winpack\\bulls\\Select.TXT");
  EXPECT_EQ(platform::Files().CurDir(), "C:\\");  // another run starts at the root
  try {
    files.ChDir("C:\\Winpack\\Nowhere");
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(e.kind(), FileError::Kind::kNotFound);
    EXPECT_EQ(e.path(), "C:\\Winpack\\Nowhere");
  }
  EXPECT_EQ(files.CurDir(), "C:\\winpack\\bulls");
}

TEST(WinPath, ListingsFollowTheProgramAndAreReadAgainForEachRun) {
  test::Station st;
  platform::Files files;
  EXPECT_FALSE(files.EntryExists("C:\\Winpack\\Bulls\\abc.txt"));
  platform::TextWriter::Create(files, "C:\\Winpack\\Bulls\\ABC.TXT").Close();
  EXPECT_TRUE(files.EntryExists("C:\\Winpack\\Bulls\\abc.txt"));
  files.RemoveFile("C:\\Winpack\\Bulls\\abc.txt");
  EXPECT_FALSE(files.EntryExists("C:\\Winpack\\Bulls\\abc.txt"));
  st.Write("Winpack/Bulls/DEF.TXT", "x");  // made behind the run's back: it keeps its view
  EXPECT_FALSE(files.EntryExists("C:\\Winpack\\Bulls\\def.txt"));
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

TEST(TextReader, LineEnds) {
  test::Station st;
  const std::string longLine(64 * 1024 - 1, 'x');  // puts a CR LF across the buffer's edge
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
      {"8-bit bytes and NUL",
       std::string("\x80\xFF\xE4\x00z\r\n", 7),
       {std::string("\x80\xFF\xE4\x00z", 5)}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    st.Write("Winpack/t.txt", row.bytes);
    EXPECT_EQ(ReadAll("C:\\Winpack\\t.txt"), row.lines);
  }
}

TEST(TextReader, ReadingPastTheEndIsAnError) {
  test::Station st;
  st.Write("Winpack/t.txt", "one");
  platform::Files files;
  platform::TextReader reader(files, "C:\\Winpack\\t.txt");
  EXPECT_EQ(reader.ReadLine(), "one");
  EXPECT_THROW(reader.ReadLine(), FileError);
  EXPECT_EQ(reader.ReadLineOrEmpty(), "");
}

TEST(TextReader, RefusesWhatIsNotAnOrdinaryFile) {
  test::Station st;
  st.MakeDir("Winpack/folder");
  ASSERT_EQ(mkfifo(st.Host("Winpack/fifo").c_str(), 0600), 0);
  st.Write("Winpack/target.txt", "x");
  fs::create_symlink(st.Host("Winpack/target.txt"), st.Host("Winpack/link.txt"));
  platform::Files files;
  EXPECT_THROW(platform::TextReader(files, "C:\\Winpack\\folder"), FileError);
  EXPECT_THROW(platform::TextReader(files, "C:\\Winpack\\fifo"), FileError);  // must not wait
  EXPECT_THROW(
      platform::TextReader(files, "C:\\Winpack\\link.txt", platform::TextReader::Links::kRefuse),
      FileError);
  EXPECT_NO_THROW(platform::TextReader(files, "C:\\Winpack\\link.txt"));
  try {
    platform::TextReader(files, "C:\\Winpack\\missing.txt");
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(e.kind(), FileError::Kind::kNotFound);
    EXPECT_NE(std::string(e.what()).find("C:\\Winpack\\missing.txt"), std::string::npos);
  }
}

TEST(TextWriter, EveryLineEndsInCrLfAndBytesPassThrough) {
  test::Station st;
  std::string all;
  for (int b = 0; b < 256; ++b) {
    if (b != '\r' && b != '\n') all += static_cast<char>(b);
  }
  st.Write("Winpack/in.txt", "lf\nunterminated\rcr\r" + all);
  {
    platform::Files files;
    platform::TextReader in(files, "C:\\Winpack\\in.txt");
    platform::TextWriter out = platform::TextWriter::Create(files, "C:\\Winpack\\out.txt");
    in.CopyRestTo(out);
    out.Close();
  }
  EXPECT_EQ(st.Read("Winpack/out.txt"), "lf\r\nunterminated\r\ncr\r\n" + all + "\r\n");
}

TEST(Trash, MovesTheFileWithItsInfo) {
  test::Station st;
  st.Write("Winpack/Bulls/5/a b%.TXT", "bulletin");
  platform::Files files;
  EXPECT_EQ(files.MoveToTrash({"C:\\Winpack\\Bulls\\5\\a b%.TXT"}), std::vector<std::string>{""});
  EXPECT_FALSE(st.Exists("Winpack/Bulls/5/a b%.TXT"));
  const auto trash = st.Trash();
  ASSERT_EQ(trash.size(), 1u);
  EXPECT_EQ(trash.begin()->second, st.Host("Winpack/Bulls/5/a%20b%25.TXT"));
  std::ifstream kept(test::TrashDir() + "/files/" + trash.begin()->first);
  std::string content;
  std::getline(kept, content);
  EXPECT_EQ(content, "bulletin");
}

TEST(Trash, SameNameTwiceAndAMissingTrash) {
  test::Station st;
  st.Write("Winpack/Bulls/1/000001.TXT", "first");
  st.Write("Winpack/Bulls/2/000001.TXT", "second");
  platform::Files files;
  EXPECT_EQ(files.MoveToTrash({"C:\\Winpack\\Bulls\\1\\000001.TXT"}), std::vector<std::string>{""});
  std::filesystem::remove_all(test::TrashDir());  // emptied for good behind our back
  EXPECT_EQ(files.MoveToTrash({"C:\\Winpack\\Bulls\\2\\000001.TXT"}), std::vector<std::string>{""});
  st.Write("Winpack/Bulls/1/000001.TXT", "third");
  platform::Files later;  // the file came back behind the first one's back
  EXPECT_EQ(later.MoveToTrash({"C:\\Winpack\\Bulls\\1\\000001.TXT"}), std::vector<std::string>{""});
  const auto trash = st.Trash();
  ASSERT_EQ(trash.size(), 2u);
  EXPECT_EQ(trash.at("000001.TXT"), st.Host("Winpack/Bulls/2/000001.TXT"));
  EXPECT_EQ(trash.at("000001.TXT.2"), st.Host("Winpack/Bulls/1/000001.TXT"));
  EXPECT_EQ(st.Snapshot().at("trash:files/000001.TXT.2"), "third");
}

TEST(Trash, AFailureIsReportedAndNothingIsDeleted) {
  test::Station st;
  platform::Files files;
  EXPECT_FALSE(files.MoveToTrash({"C:\\Winpack\\Bulls\\none.TXT"}).at(0).empty());
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
  for (const auto& [utf8, cp1252] : rows) {
    SCOPED_TRACE(utf8);
    EXPECT_EQ(platform::Utf8ToCp1252(utf8), cp1252);
    if (cp1252.find('?') == std::string::npos) {
      EXPECT_EQ(platform::Cp1252ToUtf8(cp1252), utf8);
    }
  }
}

TEST(CodePage, CaseOfTheCodePagesLetters) {
  EXPECT_EQ(platform::UpperCase("ares wx 4x4"), "ARES WX 4X4");
  EXPECT_EQ(platform::UpperCase("\xE4\xF6\xFC\xFF\x9A\xDF\xF7"), "\xC4\xD6\xDC\x9F\x8A\xDF\xF7");
  EXPECT_EQ(platform::LowerCase("\xC4\xD6\xDC\x9F\x8A\xD7"), "\xE4\xF6\xFC\xFF\x9A\xD7");
  EXPECT_EQ(platform::Cp1252ToUtf8("\x80\xE4"), "\xE2\x82\xAC\xC3\xA4");
  EXPECT_EQ(platform::FoldedName("\xC3\x84RGER"), platform::FoldedName("\xC3\xA4rger"));
  EXPECT_EQ(platform::FoldedName("\xC5\xB8"), platform::FoldedName("\xC3\xBF"));  // Ÿ and ÿ
  EXPECT_NE(platform::FoldedName("\xC3\x9F"), platform::FoldedName("ss"));
}

}  // namespace
