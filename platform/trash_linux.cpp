#include <gio/gio.h>

#include <cstring>

#include "platform/faults.h"
#include "platform/trash.h"
#include "platform/winpath.h"

namespace platform {

// GIO keeps the freedesktop.org trash: it honours XDG_DATA_HOME, writes the .trashinfo
// with a percent-encoded Path=, and fails rather than deleting when there is no trash.
int MoveToTrash(std::string_view winPath, std::string* reason) {
  std::string host;
  try {
    host = HostPath(winPath);
  } catch (const std::exception& e) {
    if (reason != nullptr) *reason = e.what();
    return -1;
  }
  if (Injected(faults::Op::kTrash)) {
    if (reason != nullptr) *reason = std::strerror(errno);
    return -1;
  }
  GFile* file = g_file_new_for_path(host.c_str());
  GError* error = nullptr;
  const gboolean ok = g_file_trash(file, nullptr, &error);
  g_object_unref(file);
  if (ok) {
    NoteRemoved(host);
    return 0;
  }
  const int code = error->code != 0 ? error->code : -1;
  if (reason != nullptr) *reason = error->message;
  g_error_free(error);
  return code;
}

}  // namespace platform
