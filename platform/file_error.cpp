#include "platform/file_error.h"

#include <cerrno>
#include <cstring>

namespace platform {

FileError FileError::FromErrno(int err, std::string path) {
  const Kind kind = (err == ENOENT || err == ENOTDIR) ? Kind::kNotFound : Kind::kOther;
  return FileError(kind, std::move(path), std::strerror(err));
}

}  // namespace platform
