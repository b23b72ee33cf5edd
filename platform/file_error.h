#pragma once

#include <stdexcept>
#include <string>

namespace platform {

/// A failed file operation: the Windows path it concerned and the system's reason.
class FileError : public std::runtime_error {
 public:
  enum class Kind { kNotFound, kOther };

  FileError(Kind kind, std::string path, std::string reason)
      : std::runtime_error(path + ": " + reason),
        kind_(kind),
        path_(std::move(path)),
        reason_(std::move(reason)) {}

  /// Builds the error from an errno value, telling "not found" apart.
  static FileError FromErrno(int err, std::string path);

  /// Runs `call`; a FileError it throws names `path` instead, with the same reason.
  template <typename F>
  static auto Naming(const std::string& path, F&& call) {
    try {
      return call();
    } catch (const FileError& e) {
      throw FileError(e.kind(), path, e.reason());
    }
  }

  Kind kind() const { return kind_; }
  const std::string& path() const { return path_; }
  const std::string& reason() const { return reason_; }

 private:
  Kind kind_;
  std::string path_;
  std::string reason_;
};

}  // namespace platform
