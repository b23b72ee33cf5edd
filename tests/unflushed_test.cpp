// What a drive makes durable at its next flush, after a sequence of its own changes: a name
// that no longer holds the run's file must not be flushed (on Windows that opens whatever
// bears it now), a renamed file is flushed by its new name, and each folder once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/unflushed.h"

namespace {

using Strings = std::vector<std::string>;

struct Step {
  char op;  // W written, D data, R removed, N renamed to `to`, F folder changed
  std::string path, to;
};

struct Case {
  const char* what;
  bool foldCase;
  std::vector<Step> steps;
  Strings files, folders;
};

TEST(Unflushed, FlushesWhatStillBearsTheRunsData) {
  const std::vector<Case> cases = {
      {"written twice, flushed once",
       false,
       {{'W', "/c/a/x", {}}, {'D', "/c/a/x", {}}, {'W', "/c/a/y", {}}},
       {"/c/a/x", "/c/a/y"},
       {"/c/a"}},
      {"removed after writing", false, {{'W', "/c/a/x", {}}, {'R', "/c/a/x", {}}}, {}, {"/c/a"}},
      {"made again after removal",
       false,
       {{'W', "/c/a/x", {}}, {'R', "/c/a/x", {}}, {'W', "/c/a/x", {}}},
       {"/c/a/x"},
       {"/c/a"}},
      {"renamed into another folder",
       false,
       {{'W', "/c/s/t", {}}, {'N', "/c/s/t", "/c/b/u"}},
       {"/c/b/u"},
       {"/c/b", "/c/s"}},
      {"a folder changed by another", false, {{'F', "/c/trash/info", {}}}, {}, {"/c/trash/info"}},
      {"letter case told apart",
       false,
       {{'W', "/c/A/x", {}}, {'R', "/c/a/X", {}}},
       {"/c/A/x"},
       {"/c/A", "/c/a"}},
      {"letter case ignored: removed in another spelling",
       true,
       {{'W', "C:\\A\\X.TXT", {}}, {'R', "C:\\a\\x.txt", {}}},
       {},
       {"C:\\A"}},
      {"letter case ignored: renamed to another spelling",
       true,
       {{'W', "C:\\A\\new", {}}, {'N', "C:\\A\\new", "C:\\a\\LIST"}, {'D', "C:\\a\\list", {}}},
       {"C:\\a\\list"},
       {"C:\\A"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::Unflushed unflushed(c.foldCase ? '\\' : '/', c.foldCase);
    for (const Step& s : c.steps) {
      switch (s.op) {
        case 'W':
          unflushed.Written(s.path);
          break;
        case 'D':
          unflushed.Data(s.path);
          break;
        case 'R':
          unflushed.Removed(s.path);
          break;
        case 'N':
          unflushed.Renamed(s.path, s.to);
          break;
        case 'F':
          unflushed.FolderChanged(s.path);
          break;
      }
    }
    EXPECT_EQ(unflushed.Files(), c.files);
    EXPECT_EQ(unflushed.Folders(), c.folders);
    unflushed.Clear();
    EXPECT_EQ(unflushed.Files(), Strings{});
    EXPECT_EQ(unflushed.Folders(), Strings{});
  }
}

}  // namespace
