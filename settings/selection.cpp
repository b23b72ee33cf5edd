#include "settings/selection.h"

#include "platform/codepage.h"
#include "platform/textfile.h"
#include "platform/winpack_paths.h"

namespace settings {
namespace {

using platform::TextReader;
using platform::UpperCase;
using winpack::kNewParamFile;
using winpack::kParamFile;

void CreateDefaultParamFile(platform::Files& files) {
  // Written whole and made durable under another name first: a file that a power cut left
  // empty would select nothing, run after run. It takes its name only where none exists: a
  // file the user wrote is never replaced.
  platform::TextWriter file = platform::TextWriter::Create(files, kNewParamFile);
  try {
    file.WriteLine("#Kelvaron.INI file. In this file are groupnames from Winpack that are moved.");
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

std::vector<std::string> ReadSelectFile(platform::Files& files) {
  TextReader file(files, winpack::kSelectFile);
  const std::string header = file.ReadLineOrEmpty();
  std::string first = UpperCase(file.ReadLineOrEmpty());
  if (first.empty()) return {};
  std::vector<std::string> selection{std::move(first)};
  if (header != "[TO]") return selection;
  while (selection.size() < kMaxGroups && !file.AtEnd()) {
    std::string name = file.ReadLine();
    if (name.empty()) break;
    selection.push_back(UpperCase(name));
  }
  return selection;
}

}  // namespace

std::vector<std::string> LoadSelection(platform::Files& files) {
  if (!files.EntryExists(kParamFile)) CreateDefaultParamFile(files);

  TextReader file(files, kParamFile);
  file.ReadLineOrEmpty();
  file.ReadLineOrEmpty();
  std::string name = UpperCase(file.ReadLineOrEmpty());
  if (name == "SELECT") {
    file.Close();
    return ReadSelectFile(files);
  }
  std::vector<std::string> selection;
  for (;;) {
    if (!name.empty()) selection.push_back(std::move(name));
    if (selection.size() >= kMaxGroups || file.AtEnd()) return selection;
    name = UpperCase(file.ReadLine());
  }
}

}  // namespace settings
