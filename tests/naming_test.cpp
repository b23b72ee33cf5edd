#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_error.h"
#include "platform/files.h"
#include "run/naming.h"
#include "tests/station.h"

namespace {

// The naming of a run whose date stamp is 7 July 2002, on drive C: in memory or, for what
// only the host's disk shows, on a station there.
struct Naming {
  struct OnHostDisk {};
  Naming() : st(test::kInMemory) {}
  explicit Naming(OnHostDisk) {}

  test::Station st;
  platform::Files files{st.OpenDrive()};
  run::RunState stamp = [] {
    run::RunState s;
    s.year = "02";
    s.month = s.day = "07";
    return s;
  }();
  run::Naming naming{files, stamp};
  std::string groupName;   // the folder form of the last group named
  std::string folderPath;  // the folder of its archive name

  /// The archive name chosen for a group, without its folder.
  std::string Name(const std::string& group) {
    const run::ArchiveTarget target = naming.FreeArchiveName(group);
    groupName = target.folder;
    folderPath = target.path.substr(0, target.path.rfind('\\'));
    EXPECT_EQ(folderPath, "C:\\Winpack\\Archive\\Bulls\\" + target.folder);
    return target.path.substr(target.path.rfind('\\') + 1);
  }
  void Fill(const std::string& folder, int from, int to) {
    for (int i = from; i <= to; ++i) {
      st.Write("Winpack/Archive/Bulls/" + folder + "/020707" + (i < 10 ? "0" : "") +
                   std::to_string(i) + ".TXT",
               "old");
    }
  }
};

TEST(FolderForm, FirstLetterUpper) {
  const std::pair<const char*, const char*> rows[] = {
      {"ARES", "Ares"},     {"WX", "Wx"},     {"4X4", "4x4"}, {"A", "A"},
      {"\xC4RT", "\xC4rt"}, {" ALL", " all"}, {"", ""}};
  for (const auto& [name, folder] : rows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(run::FolderForm(name), folder);
  }
}

// Names a folder can bear on Windows (and for Winpack under Wine) as well as here.
TEST(IsPortableFolderName, WindowsFolderNamesOnly) {
  for (const char* bad : {"",      ".",     "..",   "...",  "A\\B",    "A/B",     "C:",       "*",
                          "WX?",   "\"Q\"", "<A>",  "A|B",  "TAB\t",   "\x7F",    "CON",      "con",
                          "NUL",   "PRN",   "AUX",  "COM1", "LPT9",    "NUL.TXT", "COM1.A",   "WX.",
                          "WX. .", "WX ",   "COM0", "LPT0", "COM\xB9", "LPT\xB2", "lpt\xB3.x"}) {
    SCOPED_TRACE(bad);
    // The superscript digits are Windows-1252 bytes: other characters in another code page.
    const bool superscript =
        std::string_view(bad).find_first_of("\xB2\xB3\xB9") != std::string_view::npos;
    if (superscript && !test::NamesAreCp1252()) continue;
    EXPECT_FALSE(run::IsPortableFolderName(bad));
  }
  for (const char* good : {"ARES", "4X4", "A.B", "\xC4RT", "CONS", "COM", "COM10", "LPT", "NULL",
                           "A B", " WX", "COM\xB4"}) {
    SCOPED_TRACE(good);
    EXPECT_TRUE(run::IsPortableFolderName(good));
  }
}

TEST(Setup, NewFolderGetsTheFirstName) {
  Naming n;
  EXPECT_EQ(n.Name("ARES"), "02070701.TXT");
  EXPECT_EQ(n.groupName, "Ares");
  EXPECT_EQ(n.folderPath, "C:\\Winpack\\Archive\\Bulls\\Ares");
  EXPECT_TRUE(n.st.Exists("Winpack/Archive/Bulls/Ares"));
}

TEST(Setup, LowestFreeNumber) {
  struct Row {
    const char* name;
    int filledTo;
    std::string expected;
  } rows[] = {
      {"01 to 09 taken", 9, "02070710.TXT"},
      {"01 to 99 taken", 99, "020707100.TXT"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Naming n;
    n.Fill("Ares", 1, row.filledTo);
    EXPECT_EQ(n.Name("ARES"), row.expected);
  }
}

TEST(Setup, GapsAreFilledAndOtherDaysDoNotCount) {
  Naming n;
  n.Fill("Ares", 1, 1);
  n.Fill("Ares", 3, 3);
  n.st.Write("Winpack/Archive/Bulls/Ares/02070601.TXT", "yesterday");
  EXPECT_EQ(n.Name("ARES"), "02070702.TXT");
}

TEST(Setup, AnyEntryOfTheNameIsTaken) {
  Naming n;
  n.st.MakeDir("Winpack/Archive/Bulls/Ares/02070701.TXT");     // a folder
  n.st.Write("Winpack/Archive/Bulls/Ares/02070702.txt", "x");  // another letter case
  n.st.Write("Winpack/Archive/Bulls/Ares/.hidden", "x");
  EXPECT_EQ(n.Name("ARES"), "02070703.TXT");
}

TEST(Setup, ExistingFolderOfAnyCaseIsUsed) {
  for (const char* existing : {"ARES", "ares", "Ares"}) {
    SCOPED_TRACE(existing);
    Naming n;
    n.Fill(existing, 1, 2);
    EXPECT_EQ(n.Name("ARES"), "02070703.TXT");
    EXPECT_EQ(n.st.EntriesIn("Winpack/Archive/Bulls"), std::vector<std::string>{existing});
  }
}

// The folder form is made in the code page of the station's Windows, and the folder bears
// the letters that code page gives the bytes; a folder of the group in another case serves.
TEST(Setup, FolderFormInTheSystemsCodePage) {
  const struct {
    const char* name;
    unsigned codePage;
    std::string group;
    const char* existing;  // a folder already there, UTF-8; nullptr for none
    const char* folder;    // the folder the copy goes to, UTF-8
  } rows[] = {
      {"Cyrillic in 1251", 1251, "\xD7\xDF\xA8", nullptr, "\u0427\u044F\u0451"},
      {"Cyrillic in 1251, the folder there in small letters", 1251, "\xD7\xDF\xA8",
       "\u0447\u044F\u0451", "\u0447\u044F\u0451"},
      {"the same bytes in 1252", 1252, "\xD7\xDF\xA8", nullptr, "\u00D7\u00DF\u00A8"},
      {"Polish in 1250", 1250, "\xA5\x8C\xAF", nullptr, "\u0104\u015B\u017C"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Naming n{Naming::OnHostDisk{}};
    if (!test::UseCodePage(n.st, row.codePage)) continue;
    const std::filesystem::path bulls = n.st.Host("Winpack/Archive/Bulls");
    if (row.existing != nullptr) {
      std::filesystem::create_directory(
          bulls / std::u8string(reinterpret_cast<const char8_t*>(row.existing)));
    }
    EXPECT_EQ(n.Name(row.group), "02070701.TXT");
    std::vector<std::string> folders;
    for (const auto& e : std::filesystem::directory_iterator(bulls)) {
      const std::u8string name = e.path().filename().u8string();
      folders.emplace_back(name.begin(), name.end());
    }
    EXPECT_EQ(folders, std::vector<std::string>{row.folder});
  }
}

// A run's names are cased in its own station's code page, though a run on another station is
// still open (as in a process that serves two stations one after the other).
TEST(Setup, EachStationsCodePageWhileAnotherRunIsOpen) {
  Naming first{Naming::OnHostDisk{}};
  if (!test::UseCodePage(first.st, 1251)) GTEST_SKIP() << "the code page is the system's";
  EXPECT_EQ(first.Name("\xD7\xDF\xA8"), "02070701.TXT");
  Naming second{Naming::OnHostDisk{}};
  if (!test::UseCodePage(second.st, 1252)) GTEST_SKIP() << "the code page is the system's";
  EXPECT_EQ(second.Name("\xD7\xDF\xA8"), "02070701.TXT");
  const std::filesystem::path bulls = second.st.Host("Winpack/Archive/Bulls");
  EXPECT_TRUE(std::filesystem::is_directory(bulls / std::u8string(u8"\u00D7\u00DF\u00A8")));
}

TEST(Setup, EachGroupFolderNumbersOnItsOwn) {
  Naming n;
  EXPECT_EQ(n.Name("ARES"), "02070701.TXT");
  EXPECT_EQ(n.Name("WX"), "02070701.TXT");
  EXPECT_EQ(n.Name("A"), "02070701.TXT");
  EXPECT_TRUE(n.st.Exists("Winpack/Archive/Bulls/Wx"));
  EXPECT_TRUE(n.st.Exists("Winpack/Archive/Bulls/A"));
}

TEST(Setup, FailuresNameThePath) {
  {
    Naming n;
    n.st.Remove("Winpack/Archive");
    EXPECT_THROW(n.Name("ARES"), platform::FileError);
    EXPECT_FALSE(n.st.Exists("Winpack/Archive"));
  }
  {
    Naming n;
    n.st.Write("Winpack/Archive/Bulls/Ares", "a file, not a folder");
    try {
      n.Name("ARES");
      FAIL();
    } catch (const platform::FileError& e) {
      EXPECT_NE(std::string(e.what()).find("C:\\Winpack\\Archive\\Bulls\\Ares"), std::string::npos);
    }
  }
}

TEST(Setup, SequenceNumbersRunOut) {
  Naming n;
  n.st.MakeDir("Winpack/Archive/Bulls/Ares");
  n.Fill("Ares", 1, 32767);
  try {
    n.Name("ARES");
    FAIL();
  } catch (const platform::FileError& e) {
    EXPECT_NE(std::string(e.what()).find("C:\\Winpack\\Archive\\Bulls\\Ares\\0207073"),
              std::string::npos)
        << e.what();
  }
}

}  // namespace
