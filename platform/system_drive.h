#pragma once

#include <memory>

#include "platform/drive.h"

namespace platform {

/// This system's drive C:, its calls made by the system: the *_linux.cpp files on Linux, the
/// *_win.cpp files on Windows. One per run (HostDrive).
class SystemDrive final : public Drive {
 public:
  SystemDrive();
  ~SystemDrive() override;
  SystemDrive(const SystemDrive&) = delete;
  SystemDrive& operator=(const SystemDrive&) = delete;

  std::string HostPath(const std::string& abs) override;
  bool EntryExists(const std::string& abs) override;
  bool IsDirectory(const std::string& abs) override;
  void MakeDir(const std::string& abs) override;
  void RemoveFile(const std::string& abs) override;
  void RemoveDir(const std::string& abs) override;
  std::vector<std::string> FileNames(const std::string& abs) override;
  void ReplaceFile(const std::string& from, const std::string& to) override;
  bool RenameNew(const std::string& from, const std::string& to) override;
  bool LinkNew(const std::string& existing, const std::string& name) override;
  bool ReplaceUnlessOpen(const std::string& from, const std::string& to) override;
  std::string FinalPath(const std::string& abs) override;
  std::string FileId(const std::string& abs) override;
  void Flush() override;
  void Adopt(const std::string& abs) override;
  std::vector<std::string> MoveToTrash(const std::vector<std::string>& abs,
                                       TrashSteps& steps) override;
  std::unique_ptr<OpenFile> OpenRead(const std::string& abs, Links links,
                                     std::optional<FileError>* failure) override;
  std::unique_ptr<OpenFile> OpenWrite(const std::string& abs, Create how) override;
  bool Names(const std::string& abs, OpenFile& file) override;
  bool AwaitAlone(const std::string& abs, OpenFile* mine, Look look,
                  std::chrono::milliseconds limit) override;
  std::unique_ptr<OpenFile> OpenLockFile(const std::string& abs) override;
  bool LockFirstByte(OpenFile& lock, const std::string& abs) override;
  void RemoveLockFile(OpenFile& lock, const std::string& abs) noexcept override;

  /// What the run learns of the drive on the way, and what is yet to be made durable: each
  /// system's own (drive_linux.h, drive_win.h).
  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace platform
