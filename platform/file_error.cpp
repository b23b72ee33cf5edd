#include "platform/file_error.h"

#include <cerrno>
#include <cstring>

#include "platform/codepage.h"

namespace platform {

FileError FileError::FromErrno(int err, std::string path) {
  const Kind kind = (err == ENOENT || err == ENOTDIR) ? Kind::kNotFound : Kind::kOther;
  // The system speaks UTF-8; the program's texts are Windows-1252.
  return FileError(kind, std::move(path), Utf8ToCp1252(std::strerror(err)));
}

}  // namespace platform
