// The drive in memory against what the Linux drive does, and its power cuts against what a
// journalling file system leaves.
#include "tests/memory_drive.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "platform/codepage.h"
#include "platform/wording.h"

using platform::Create;
using platform::Drive;
using platform::FileError;

namespace {

constexpr char kBulls[] = "C:\\Winpack\\Bulls";

std::string ReadAll(Drive& drive, const std::string& abs) {
  std::optional<FileError> failure;
  auto file = drive.OpenRead(abs, platform::Links::kRefuse, &failure);
  if (!file) throw *failure;
  std::string text(64, '\0');
  text.resize(file->Read(text.data(), text.size()));
  return text;
}

void Append(Drive& drive, const std::string& abs, const std::string& bytes,
            Create how = Create::kAppend) {
  auto file = drive.OpenWrite(abs, how);
  file->Write(bytes.data(), bytes.size());
  file->Close();
}

struct FlushOnly : platform::TrashSteps {
  explicit FlushOnly(Drive& d) : drive(d) {}
  void Moving(const std::string&) override {}
  void Flush() override { drive.Flush(); }
  Drive& drive;
};

TEST(MemoryDrive, FindsNamesAsWindowsDoes) {
  struct Row {
    const char* name;
    std::string path;
    const char* content;  // nullptr: nothing found
    std::string host;
  } rows[] = {
      {"exact name", "C:\\Winpack\\Bulls\\marked.txt", "lower",
       "/drive_c/Winpack/Bulls/marked.txt"},
      {"other case: first in sorted order", "c:\\WINPACK\\bulls\\Marked.TXT", "upper",
       "/drive_c/Winpack/Bulls/MARKED.TXT"},
      {"8-bit letters without case", "C:\\Winpack\\\xE4rger", "8-bit",
       "/drive_c/Winpack/" + platform::AnsiToUtf8(platform::UpperCase("\xE4RGER"))},
      {"missing", "C:\\Winpack\\Bulls\\NONE.TXT", nullptr, "/drive_c/Winpack/Bulls/NONE.TXT"},
      {"below a missing folder, as written", "C:\\wINPACK\\None\\x", nullptr,
       "/drive_c/Winpack/None/x"},
      {"a folder is no file", kBulls, nullptr, "/drive_c/Winpack/Bulls"},
  };
  test::MemoryDisk disk;
  disk.Write("C:\\Winpack\\Bulls\\marked.txt", "lower");
  disk.Write("C:\\Winpack\\Bulls\\MARKED.TXT", "upper");
  disk.Write("C:\\Winpack\\Bulls\\Marked.txt", "mixed");
  disk.Write("C:\\Winpack\\" + platform::UpperCase("\xE4rger"), "8-bit");  // any code page
  const auto drive = disk.Open();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(drive->HostPath(row.path), row.host);
    EXPECT_EQ(drive->EntryExists(row.path), row.content != nullptr || row.path == kBulls);
    std::optional<FileError> failure;
    const auto file = drive->OpenRead(row.path, platform::Links::kRefuse, &failure);
    if (row.content != nullptr) {
      EXPECT_EQ(ReadAll(*drive, row.path), row.content);
    } else {
      EXPECT_TRUE(!file && failure.has_value());
    }
  }
  EXPECT_THROW(drive->HostPath("D:\\Winpack"), FileError);
  EXPECT_THROW(drive->EntryExists("C:\\Winpack\\..\\x"), FileError);
}

TEST(MemoryDrive, RefusesAsTheLinuxDriveDoes) {
  struct Row {
    const char* name;
    std::function<bool(Drive&)> act;
    const char* failure;  // nullptr: answers false; "": not found; else the reason
  } rows[] = {
      {"rename onto another case", [](Drive& d) { return d.RenameNew("C:\\a", "C:\\B"); }, nullptr},
      {"link onto another case", [](Drive& d) { return d.LinkNew("C:\\a", "C:\\B"); }, nullptr},
      {"link a folder", [](Drive& d) { return d.LinkNew("C:\\dir", "C:\\c"); }, nullptr},
      {"rename of nothing", [](Drive& d) { return d.RenameNew("C:\\none", "C:\\c"); }, ""},
      {"remove nothing", [](Drive& d) { return d.RemoveFile("C:\\none"), true; }, ""},
      {"remove a folder as a file", [](Drive& d) { return d.RemoveFile("C:\\DIR"), true; },
       "Is a directory"},
      {"remove a full folder", [](Drive& d) { return d.RemoveDir("C:\\dir"), true; },
       "Directory not empty"},
      {"make a folder there", [](Drive& d) { return d.MakeDir("C:\\A"), true; }, "File exists"},
      {"read a folder", [](Drive& d) { return ReadAll(d, "C:\\dir"), true; },
       platform::words::kNotOrdinary},
      {"append to a linked file",
       [](Drive& d) {
         return d.LinkNew("C:\\a", "C:\\c") && d.OpenWrite("C:\\A", Create::kAppend);
       },
       platform::words::kHardLinked},
      {"write into a missing folder",
       [](Drive& d) { return d.OpenWrite("C:\\x\\y", Create::kEmpty) != nullptr; }, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::MemoryDisk disk;
    disk.Write("C:\\a", "a");
    disk.Write("C:\\b", "b");
    disk.Write("C:\\Dir\\in", "in");
    const auto before = disk.Snapshot();
    try {
      EXPECT_FALSE(row.act(*disk.Open()));
      EXPECT_EQ(row.failure, nullptr);
      EXPECT_EQ(disk.Snapshot(), before);
    } catch (const FileError& e) {
      ASSERT_NE(row.failure, nullptr) << e.what();
      EXPECT_EQ(e.kind() == FileError::Kind::kNotFound, *row.failure == '\0');
      if (*row.failure != '\0') {
        EXPECT_EQ(e.reason(), row.failure);
      }
    }
  }
}

TEST(MemoryDrive, HardLinkIsOneFileUntilReplaced) {
  test::MemoryDisk disk;
  disk.Write("C:\\List", "old");
  const auto drive = disk.Open();
  ASSERT_TRUE(drive->LinkNew("C:\\List", "C:\\Second"));
  EXPECT_EQ(drive->FileId("C:\\list"), drive->FileId("C:\\SECOND"));
  auto held = drive->OpenRead("C:\\Second", platform::Links::kRefuse, nullptr);
  Append(*drive, "C:\\List", "new", Create::kEmpty);  // a new file: the link keeps the old
  EXPECT_NE(drive->FileId("C:\\List"), drive->FileId("C:\\Second"));
  EXPECT_EQ(ReadAll(*drive, "C:\\Second"), "old");
  EXPECT_TRUE(drive->Names("C:\\second", *held));
  EXPECT_FALSE(drive->Names("C:\\List", *held));
  drive->RemoveFile("C:\\Second");
  EXPECT_EQ(drive->FileId("C:\\Second"), "");
  EXPECT_EQ(disk.Snapshot(), (std::map<std::string, std::string>{{"drive_c/List", "new"}}));
}

// Five renames after a flush, cut by many seeds: only ever the first k of them survive.
TEST(MemoryDrive, CutKeepsFolderChangesAsAPrefixAndFlushedBytesAlways) {
  std::set<std::size_t> renamesSeen;
  std::set<std::string> tailsSeen;
  for (std::uint64_t seed = 0; seed < 60; ++seed) {
    SCOPED_TRACE(seed);
    test::MemoryDisk disk;
    auto drive = disk.Open();
    for (char c : std::string("12345")) Append(*drive, std::string("C:\\F") + c, "flushed");
    Append(*drive, "C:\\Log", "head:");
    drive->Flush();
    for (char c : std::string("12345"))
      drive->RenameNew(std::string("C:\\F") + c, std::string("C:\\G") + c);
    Append(*drive, "C:\\Log", "0123456789");
    disk.CutPower(seed);
    std::size_t renamed = 0;
    while (renamed < 5 && disk.Exists("C:\\G" + std::to_string(renamed + 1))) ++renamed;
    for (std::size_t i = 1; i <= 5; ++i) {
      const std::string name = (i <= renamed ? "C:\\G" : "C:\\F") + std::to_string(i);
      EXPECT_EQ(disk.Read(name), "flushed") << name;
    }
    EXPECT_EQ(disk.FilesIn("C:\\").size(), 6u);
    const std::string log = disk.Read("C:\\Log").substr(5);
    EXPECT_EQ("head:" + log, std::string("head:0123456789").substr(0, log.size() + 5));
    renamesSeen.insert(renamed);
    tailsSeen.insert(log.empty() ? "lost" : log.size() == 10 ? "kept" : "torn");
  }
  EXPECT_GE(renamesSeen.size(), 4u);  // the cut falls between renames, not only at the ends
  EXPECT_EQ(tailsSeen, (std::set<std::string>{"kept", "lost", "torn"}));
}

TEST(MemoryDrive, CutLosesAllUnflushedAndEndsTheProcess) {
  test::MemoryDisk disk;
  disk.Write("C:\\Kept", "kept");
  auto dead = disk.Open();
  const auto lock = dead->OpenLockFile("C:\\LOCK");
  ASSERT_TRUE(dead->LockFirstByte(*lock, "C:\\LOCK"));
  EXPECT_FALSE(disk.Open()->LockFirstByte(*disk.Open()->OpenLockFile("C:\\LOCK"), "C:\\LOCK"));
  dead->Flush();
  Append(*dead, "C:\\Kept", " and more");
  dead->RemoveFile("C:\\LOCK");
  disk.CutPower();
  EXPECT_EQ(disk.Snapshot(),
            (std::map<std::string, std::string>{{"drive_c/Kept", "kept"}, {"drive_c/LOCK", ""}}));
  EXPECT_THROW(dead->EntryExists("C:\\Kept"), FileError);
  const auto next = disk.Open();
  EXPECT_TRUE(next->LockFirstByte(*next->OpenLockFile("C:\\LOCK"), "C:\\LOCK"));
}

// How a run is tested: the power cut at each of its calls in turn, and what survives checked.
TEST(MemoryDrive, CutAtEveryCallOfATrashing) {
  const auto run = [](Drive& drive) {
    drive.MakeDir("C:\\Archive");
    Append(drive, "C:\\Archive\\000101.TXT", "bulletin", Create::kEmpty);
    FlushOnly steps(drive);
    return drive.MoveToTrash({"C:\\Bulls\\000101.TXT", "C:\\Bulls\\missing"}, steps);
  };
  const auto station = [](test::MemoryDisk& disk) {
    disk.Write("C:\\Bulls\\000101.TXT", "bulletin");
  };
  test::MemoryDisk whole;
  station(whole);
  const auto reasons = run(*whole.Open());
  EXPECT_EQ(reasons, (std::vector<std::string>{"", "No such file or directory"}));
  const std::string kInfo = "trash:info/000101.TXT.trashinfo";
  EXPECT_EQ(whole.Snapshot().at(kInfo), "[Trash Info]\nPath=/drive_c/Bulls/000101.TXT\n");
  for (int n = 1; n <= whole.Calls(); ++n) {
    for (std::uint64_t seed = 0; seed < 8; ++seed) {
      SCOPED_TRACE("call " + std::to_string(n) + " seed " + std::to_string(seed));
      test::MemoryDisk disk;
      station(disk);
      disk.FailAtCall(n);
      try {
        run(*disk.Open());
      } catch (const FileError&) {  // the power went before the trash was asked
      }
      EXPECT_TRUE(disk.PowerIsOff());
      disk.CutPower(seed);
      const auto files = disk.Snapshot();
      const bool inPlace = files.count("drive_c/Bulls/000101.TXT") != 0;
      const bool inTrash = files.count("trash:files/000101.TXT") != 0;
      EXPECT_NE(inPlace, inTrash);
      // The record is durable before the file moves.
      if (inTrash) {
        EXPECT_EQ(files.at(kInfo), whole.Snapshot().at(kInfo));
      }
    }
  }
}

TEST(MemoryDrive, TrashStepsKeepFilesWhereTheyAre) {
  struct Steps : platform::TrashSteps {
    void Moving(const std::string& abs) override {
      if (abs == "C:\\b") throw FileError(FileError::Kind::kOther, abs, "refused");
    }
    void Flush() override {
      if (fail) throw FileError(FileError::Kind::kOther, "C:\\", "no flush");
    }
    bool fail = false;
  };
  for (bool flushFails : {false, true}) {
    SCOPED_TRACE(flushFails);
    test::MemoryDisk disk;
    disk.Write("C:\\a", "a");
    disk.Write("C:\\b", "b");
    Steps steps;
    steps.fail = flushFails;
    const auto reasons = disk.Open()->MoveToTrash({"C:\\A", "C:\\b"}, steps);
    EXPECT_EQ(reasons[0],
              flushFails ? std::string(platform::words::kTrashNotDurable) + "C:\\: no flush" : "");
    EXPECT_EQ(reasons[1], "refused");
    EXPECT_EQ(disk.FilesIn("C:\\").size(), flushFails ? 2u : 1u);
    EXPECT_EQ(disk.Snapshot().size(), flushFails ? 2u : 3u);  // no record without its file
  }
}

// Where a file lands in the trash, whatever an earlier run, a cut or another program left
// there: a record of its own is taken over, nothing of another file's is touched.
TEST(MemoryDrive, TrashNamesNeverTakeAnotherFilesPlace) {
  const std::string own = "[Trash Info]\nPath=/drive_c/Bulls/A\n";
  const std::string other = "[Trash Info]\nPath=/drive_c/other\n";
  const struct Row {
    const char* name;
    std::map<std::string, std::string> left;
    std::string lands;
  } rows[] = {
      {"an empty trash", {}, "A"},
      {"the record of this file, whose file never came", {{"trash:info/A.trashinfo", own}}, "A"},
      {"a record a cut left empty", {{"trash:info/A.trashinfo", ""}}, "A"},
      {"a record a cut tore in its path", {{"trash:info/A.trashinfo", own.substr(0, 20)}}, "A"},
      {"the record of another file", {{"trash:info/A.trashinfo", other}}, "A.2"},
      {"a file without its record", {{"trash:files/A", "older"}}, "A.2"},
      {"both, one name after the other",
       {{"trash:files/A", "older"}, {"trash:info/A.2.trashinfo", other}},
       "A.3"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::MemoryDisk disk;
    disk.Write("C:\\Bulls\\A", "bulletin");
    for (const auto& [key, bytes] : row.left) disk.Write(key, bytes);
    const auto drive = disk.Open();
    FlushOnly steps(*drive);
    EXPECT_EQ(drive->MoveToTrash({"C:\\Bulls\\A"}, steps), std::vector<std::string>{""});
    auto expected = row.left;
    expected["trash:files/" + row.lands] = "bulletin";
    expected["trash:info/" + row.lands + ".trashinfo"] = own;
    EXPECT_EQ(disk.Snapshot(), expected);
  }
}

// A copy is a disk of its own that finds names as the original does, before and after a cut;
// the original keeps what it had whatever the copy is put through.
TEST(MemoryDrive, ACopyIsADiskOfItsOwn) {
  test::MemoryDisk original;
  original.Write("C:\\Winpack\\Bulls\\MARKED.TXT", "list");
  {
    const auto drive = original.Open();
    ASSERT_TRUE(drive->LinkNew("C:\\Winpack\\Bulls\\MARKED.TXT", "C:\\Winpack\\Bulls\\WAS.TXT"));
    drive->Flush();
  }
  const auto before = original.Snapshot();
  test::MemoryDisk copy;
  copy.Write("C:\\Gone", "replaced by the copy");
  for (const bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "after a cut" : "as copied");
    copy.CopyFrom(original);
    const auto drive = copy.Open();
    Append(*drive, "C:\\winpack\\BULLS\\new.txt", "unflushed", Create::kEmpty);
    if (cut) {
      copy.CutPower();
      EXPECT_THROW(drive->EntryExists("C:\\Winpack"), FileError);  // the run died with it
    }
    const auto view = copy.Open();
    EXPECT_EQ(view->HostPath("C:\\WINPACK\\bulls\\marked.txt"),
              "/drive_c/Winpack/Bulls/MARKED.TXT");
    EXPECT_EQ(view->EntryExists("C:\\Winpack\\Bulls\\NEW.TXT"), !cut);
    EXPECT_FALSE(view->EntryExists("C:\\Gone"));
    // The two names are still one file: it cannot be appended to.
    EXPECT_THROW(view->OpenWrite("C:\\Winpack\\Bulls\\WAS.TXT", Create::kAppend), FileError);
  }
  EXPECT_EQ(original.Snapshot(), before);
}

// A power cut that fails its call rather than throwing: that call and every later one fail
// and change nothing, as after the throw.
TEST(MemoryDrive, ACutThatFailsItsCall) {
  test::MemoryDisk disk;
  disk.Write("C:\\Kept", "flushed");
  const auto drive = disk.Open();
  disk.FailAtCall(2);
  auto file = drive->OpenWrite("C:\\Kept", Create::kAppend);
  EXPECT_FALSE(disk.PowerIsOff());
  EXPECT_THROW(file->Write("x", 1), FileError);
  EXPECT_TRUE(disk.PowerIsOff());
  EXPECT_THROW(drive->MakeDir("C:\\New"), FileError);
  EXPECT_THROW(file->Close(), FileError);
  EXPECT_EQ(disk.Read("C:\\Kept"), "flushed");
  EXPECT_FALSE(disk.Exists("C:\\New"));
  disk.CutPower();
  EXPECT_FALSE(disk.PowerIsOff());
  EXPECT_NO_THROW(disk.Open()->MakeDir("C:\\New"));
}

}  // namespace
