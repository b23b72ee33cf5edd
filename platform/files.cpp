#include "platform/files.h"

#include "platform/faults.h"
#include "platform/system_drive.h"
#include "platform/winpath.h"
#include "platform/wording.h"

namespace platform {
namespace {

using faults::Op;

// The trash's own steps pass the seam as the run's do.
class SeamedTrashSteps final : public TrashSteps {
 public:
  explicit SeamedTrashSteps(Files& files) : files_(files) {}
  void Moving(const std::string& abs) override { Fault(Op::kTrash, abs); }
  void Flush() override { files_.Flush(); }

 private:
  Files& files_;
};

}  // namespace

std::unique_ptr<Drive> HostDrive() { return std::make_unique<SystemDrive>(); }

Files::Files(std::unique_ptr<Drive> drive) : drive_(std::move(drive)) {}

Files::~Files() { Unlock(); }

std::string Files::AbsoluteWinPath(std::string_view winPath) const {
  return winpath::Absolute(winPath);
}

std::string Files::HostPath(std::string_view winPath) {
  return drive_->HostPath(AbsoluteWinPath(winPath));
}

bool Files::EntryExists(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  Fault(Op::kStat, abs);
  return drive_->EntryExists(abs);
}

bool Files::IsDirectory(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  Fault(Op::kStat, abs);
  return drive_->IsDirectory(abs);
}

void Files::MakeDir(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  Fault(Op::kMakeDir, abs);
  drive_->MakeDir(abs);
}

void Files::RemoveFile(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  Fault(Op::kRemove, abs);
  drive_->RemoveFile(abs);
}

void Files::RemoveDir(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  Fault(Op::kRemove, abs);
  drive_->RemoveDir(abs);
}

std::vector<std::string> Files::FileNames(std::string_view folder) {
  const std::string abs = AbsoluteWinPath(folder);
  Fault(Op::kList, abs);
  return drive_->FileNames(abs);
}

void Files::ReplaceFile(std::string_view from, std::string_view to) {
  const std::string absTo = AbsoluteWinPath(to);
  Fault(Op::kRename, absTo);
  drive_->ReplaceFile(AbsoluteWinPath(from), absTo);
}

bool Files::RenameNew(std::string_view from, std::string_view to) {
  const std::string absTo = AbsoluteWinPath(to);
  Fault(Op::kRename, absTo);
  return drive_->RenameNew(AbsoluteWinPath(from), absTo);
}

bool Files::LinkNew(std::string_view existing, std::string_view name) {
  const std::string absName = AbsoluteWinPath(name);
  Fault(Op::kCreate, absName);  // a second name is made
  return drive_->LinkNew(AbsoluteWinPath(existing), absName);
}

bool Files::ReplaceUnlessOpen(std::string_view from, std::string_view to) {
  const std::string absTo = AbsoluteWinPath(to);
  Fault(Op::kRename, absTo);
  return drive_->ReplaceUnlessOpen(AbsoluteWinPath(from), absTo);
}

std::string Files::FinalPath(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  Fault(Op::kStat, abs);
  std::string final = drive_->FinalPath(abs);
  if (final.empty()) throw FileError(FileError::Kind::kOther, abs, words::kOffDrive);
  return final;
}

std::string Files::FileId(std::string_view winPath) {
  const std::string abs = AbsoluteWinPath(winPath);
  Fault(Op::kStat, abs);
  return drive_->FileId(abs);
}

bool Files::AwaitAlone(std::string_view winPath, Look look, std::chrono::milliseconds limit) {
  const std::string abs = AbsoluteWinPath(winPath);
  Fault(Op::kStat, abs);
  return drive_->AwaitAlone(abs, nullptr, look, limit);
}

void Files::Flush() {
  Fault(Op::kSync, "C:\\");
  drive_->Flush();
}

void Files::Adopt(std::string_view winPath) { drive_->Adopt(AbsoluteWinPath(winPath)); }

std::vector<std::string> Files::MoveToTrash(const std::vector<std::string>& winPaths) {
  std::vector<std::string> abs;
  abs.reserve(winPaths.size());
  for (const std::string& path : winPaths) abs.push_back(AbsoluteWinPath(path));
  SeamedTrashSteps steps(*this);
  return drive_->MoveToTrash(abs, steps);
}

}  // namespace platform
