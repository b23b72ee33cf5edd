#include "settings/selection.h"

#include "platform/codepage.h"
#include "platform/textfile.h"

namespace settings {
namespace {

using platform::TextReader;
using platform::UpperCase;

void CreateDefaultParamFile(platform::Files& files) {
  // Written whole and made durable under another name first: a file that a power cut left
  // empty would select nothing, run after run. It takes its name only where none exists: a
  // file the user wrote is never replaced.
  platform::TextWriter file = platform::TextWriter::Create(files, kNewParamFile);
  try {
    file.WriteLine(std::string("#") + kParamFile +
                   " file. In this file are groupnames from Winpack that are moved.");
    file.WriteLine("[Kelvaron]");
    file.WriteLine("Select");
    file.Close();
    files.Flush();
    if (!files.RenameNew(kNewParamFile, kParamFile)) files.RemoveFile(kNewParamFile);
  } catch (...) {
    file.Discard();
    throw;
  }
}

void Add(GroupSelection& selection, std::string name) {
  selection.Groups[++selection.GroupCount] = std::move(name);
}

void ReadSelectFile(GroupSelection& selection, platform::Files& files) {
  files.ChDir("C:\\Winpack\\Bulls");
  TextReader file(files, kSelectFile);
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

void LoadList(GroupSelection& selection, platform::Files& files) {
  files.ChDir("C:\\Winpack\\");
  if (!files.EntryExists(kParamFile)) CreateDefaultParamFile(files);

  TextReader file(files, kParamFile);
  file.ReadLineOrEmpty();
  file.ReadLineOrEmpty();
  std::string name = UpperCase(file.ReadLineOrEmpty());
  if (name == "SELECT") {
    file.Close();
    ReadSelectFile(selection, files);
    return;
  }
  for (;;) {
    if (!name.empty()) Add(selection, std::move(name));
    if (selection.GroupCount >= kMaxGroups || file.AtEnd()) return;
    name = UpperCase(file.ReadLine());
  }
}

}  // namespace

void OpenParamFile(GroupSelection& selection, platform::Files& files) {
  selection.GroupCount = 0;
  try {
    LoadList(selection, files);
  } catch (...) {
    selection.GroupCount = 0;
    throw;
  }
}

}  // namespace settings
