#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/faults.h"
#include "platform/files_linux.h"

// The freedesktop.org trash. A file on the file system of the user's own trash
// ($XDG_DATA_HOME/Trash) is moved there directly: the trash folder is found once, not again
// for every bulletin, and a move costs the .trashinfo and one rename. Any other file goes
// through GIO, which knows the trash folders of other file systems. Neither ever deletes.
namespace platform {
namespace {

struct HomeTrash {
  std::string files, info;
};

bool MakeFolder(const std::string& path) {
  struct stat st {};
  return (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) && stat(path.c_str(), &st) == 0 &&
         S_ISDIR(st.st_mode);
}

bool FindHomeTrash(std::string& trashRoot, HomeTrash& trash) {
  if (trashRoot.empty()) {
    const std::string root = std::string(g_get_user_data_dir()) + "/Trash";
    if (!MakeFolder(root) || !MakeFolder(root + "/files") || !MakeFolder(root + "/info")) {
      return false;
    }
    trashRoot = root;
  }
  trash = {trashRoot + "/files/", trashRoot + "/info/"};
  return true;
}

std::string InfoText(const std::string& host) {
  char* escaped = g_uri_escape_string(host.c_str(), "/", FALSE);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  std::string text = std::string("[Trash Info]\nPath=") + escaped + "\nDeletionDate=" + date + "\n";
  g_free(escaped);
  return text;
}

// Claims a name in the trash by making its .trashinfo; -1 when the info cannot be written.
int WriteInfo(const HomeTrash& trash, const std::string& base, const std::string& text,
              std::string& name) {
  for (int n = 1; n < 10000; ++n) {
    name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string info = trash.info + name + ".trashinfo";
    const int fd = open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return -1;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const int err = errno;
    if (close(fd) != 0 || !written) {
      unlink(info.c_str());
      errno = written ? errno : err;
      return -1;
    }
    return 0;
  }
  errno = EEXIST;
  return -1;
}

int ThroughGio(const std::string& host, std::string* reason) {
  GFile* file = g_file_new_for_path(host.c_str());
  GError* error = nullptr;
  const gboolean ok = g_file_trash(file, nullptr, &error);
  g_object_unref(file);
  if (ok) return 0;
  const int code = error->code != 0 ? error->code : -1;
  if (reason != nullptr) *reason = error->message;
  g_error_free(error);
  return code;
}

}  // namespace

int Files::MoveToTrash(std::string_view winPath, std::string* reason) {
  std::string host;
  try {
    host = impl_->HostPath(winPath);
  } catch (const std::exception& e) {
    if (reason != nullptr) *reason = e.what();
    return -1;
  }
  if (Injected(faults::Op::kTrash)) {
    if (reason != nullptr) *reason = std::strerror(errno);
    return -1;
  }

  HomeTrash trash;
  int result = 0;
  if (!FindHomeTrash(impl_->trashRoot, trash)) {
    result = ThroughGio(host, reason);
  } else {
    std::string name;
    if (WriteInfo(trash, host.substr(host.rfind('/') + 1), InfoText(host), name) != 0) {
      impl_->trashRoot.clear();  // looked for again next time
      result = ThroughGio(host, reason);
    } else if (rename(host.c_str(), (trash.files + name).c_str()) != 0) {
      const int err = errno;
      unlink((trash.info + name + ".trashinfo").c_str());
      result = err == EXDEV ? ThroughGio(host, reason) : -1;
      if (err != EXDEV && reason != nullptr) *reason = std::strerror(err);
    }
  }
  if (result == 0) impl_->NoteRemoved(host);
  return result;
}

}  // namespace platform
