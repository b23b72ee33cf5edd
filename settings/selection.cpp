#include "settings/selection.h"

#include "platform/codepage.h"
#include "platform/textfile.h"
#include "platform/winpath.h"

namespace settings {
namespace {

using platform::TextReader;
using platform::UpperCase;

void CreateDefaultParamFile() {
  // Made only where no file exists: a file the user wrote is never replaced.
  auto file = platform::TextWriter::CreateNew(kParamFile);
  if (!file) return;
  try {
    file->WriteLine(std::string("#") + kParamFile +
                    " file. In this file are groupnames from Winpack that are moved.");
    file->WriteLine("[Kelvaron]");
    file->WriteLine("Select");
    file->Close();
  } catch (...) {
    file->Discard();
    throw;
  }
}

void Add(GroupSelection& selection, std::string name) {
  selection.Groups[++selection.GroupCount] = std::move(name);
}

void ReadSelectFile(GroupSelection& selection) {
  platform::ChDir("C:\\Winpack\\Bulls");
  TextReader file(kSelectFile);
  const std::string header = file.ReadLineOrEmpty();
  std::string first = UpperCase(file.ReadLineOrEmpty());
  if (first.empty()) return;
  Add(selection, std::move(first));
  if (header != "[TO]") return;
  while (selection.GroupCount < kMaxGroups && !file.AtEnd()) {
    std::string name = file.ReadLine();
    if (name.empty()) return;
    Add(selection, UpperCase(name));
  }
}

void LoadList(GroupSelection& selection) {
  platform::ChDir("C:\\Winpack\\");
  if (!platform::EntryExists(kParamFile)) CreateDefaultParamFile();

  TextReader file(kParamFile);
  file.ReadLineOrEmpty();
  file.ReadLineOrEmpty();
  std::string name = UpperCase(file.ReadLineOrEmpty());
  if (name == "SELECT") {
    file.Close();
    ReadSelectFile(selection);
    return;
  }
  for (;;) {
    if (!name.empty()) Add(selection, std::move(name));
    if (selection.GroupCount >= kMaxGroups || file.AtEnd()) return;
    name = UpperCase(file.ReadLine());
  }
}

}  // namespace

void OpenParamFile(GroupSelection& selection) {
  selection.GroupCount = 0;
  try {
    LoadList(selection);
  } catch (...) {
    selection.GroupCount = 0;
    throw;
  }
}

}  // namespace settings
