#include "platform/file_error.h"

#include <cerrno>
#include <cstring>

#include "platform/codepage.h"

namespace platform {

FileError FileError::FromErrno(int err, std::string path) {
  const Kind kind = (err == ENOENT || err == ENOTDIR) ? Kind::kNotFound : Kind::kOther;
  // The system speaks UTF-8; the program's texts are in the code page of its Windows.
  return FileError(kind, std::move(path), Utf8ToAnsi(std::strerror(err)));
}

}  // namespace platform
