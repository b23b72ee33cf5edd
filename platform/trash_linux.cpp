#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/codepage.h"
#include "platform/faults.h"
#include "platform/files_linux.h"
#include "platform/wording.h"

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

// The Path= line of a .trashinfo, or nothing when it cannot be read.
std::string PathLine(const std::string& info) {
  const int fd = open(info.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return {};
  char buf[8192];
  const ssize_t n = read(fd, buf, sizeof buf);
  close(fd);
  if (n <= 0) return {};
  const std::string text(buf, static_cast<std::size_t>(n));
  const std::size_t at = text.find("\nPath=");
  return at == std::string::npos ? std::string()
                                 : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

// Claims a name in the trash by making its .trashinfo; -1 when the info cannot be written.
// An info of the same file whose file never arrived (a run died between the two) is taken
// over rather than left behind as an orphan.
int WriteInfo(const HomeTrash& trash, const std::string& base, const std::string& text,
              std::string& name) {
  const std::string pathLine =
      text.substr(text.find("Path="), text.find("\nDeletionDate=") - text.find("Path="));
  for (int n = 1; n < 10000; ++n) {
    name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string info = trash.info + name + ".trashinfo";
    int fd = open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
      struct stat st {};
      // Left empty by a power cut, it names nothing: taken over as well.
      const std::string left = PathLine(info);
      if (lstat((trash.files + name).c_str(), &st) == 0 || errno != ENOENT ||
          (left != pathLine && !left.empty())) {
        continue;
      }
      fd = open(info.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
      if (fd < 0) continue;
    }
    if (fd < 0) return -1;
    struct stat taken {};
    if (lstat((trash.files + name).c_str(), &taken) == 0) {  // a file without its info
      close(fd);
      unlink(info.c_str());
      continue;
    }
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
  if (reason != nullptr) *reason = Utf8ToCp1252(error->message);  // GLib speaks UTF-8
  g_error_free(error);
  return code;
}

std::string Reason(int err) { return Utf8ToCp1252(std::strerror(err)); }

}  // namespace

// First every .trashinfo, then one flush, then the moves: a file never reaches the trash
// before the record that lets the user restore it is on disk.
std::vector<std::string> Files::MoveToTrash(const std::vector<std::string>& winPaths) {
  struct Item {
    std::string host;
    std::string name;  // in the home trash; empty: through GIO
    bool failed = false;
  };
  std::vector<std::string> reasons(winPaths.size());
  std::vector<Item> items(winPaths.size());
  HomeTrash trash;
  bool home = false;
  for (std::size_t i = 0; i < winPaths.size(); ++i) {
    Item& item = items[i];
    try {
      const std::string abs = AbsoluteWinPath(winPaths[i]);
      item.host = view_->HostPath(abs);
      Fault(faults::Op::kTrash, abs);
    } catch (const FileError& e) {
      reasons[i] = e.reason();
      item.failed = true;
      continue;
    }
    home = home || FindHomeTrash(view_->trashRoot, trash);
    if (!home) continue;
    const std::string base = item.host.substr(item.host.rfind('/') + 1);
    if (WriteInfo(trash, base, InfoText(item.host), item.name) != 0) {
      item.name.clear();
      view_->trashRoot.clear();  // looked for again next time
      home = false;
    } else {
      view_->NoteCreated(trash.info + item.name + ".trashinfo");
    }
  }
  std::string flushError;
  std::vector<std::size_t> viaGio;
  try {
    view_->Flush();
  } catch (const FileError& e) {
    flushError = e.what();
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    Item& item = items[i];
    if (item.failed) continue;
    std::string* reason = &reasons[i];
    int result = 0;
    bool gio = false;
    if (!flushError.empty()) {
      if (!item.name.empty()) unlink((trash.info + item.name + ".trashinfo").c_str());
      *reason = words::kTrashNotDurable + flushError;
      continue;
    }
    if (item.name.empty()) {
      gio = true;
      result = ThroughGio(item.host, reason);
    } else if (renameat2(AT_FDCWD, item.host.c_str(), AT_FDCWD, (trash.files + item.name).c_str(),
                         RENAME_NOREPLACE) != 0) {
      const int err = errno;
      unlink((trash.info + item.name + ".trashinfo").c_str());
      gio = err == EXDEV;
      result = gio ? ThroughGio(item.host, reason) : -1;
      if (err != EXDEV) *reason = Reason(err);
    } else {
      view_->NoteCreated(trash.files + item.name);
    }
    if (result == 0) {
      reason->clear();
      view_->NoteRemoved(item.host);
      if (gio) viaGio.push_back(i);
    } else if (reason->empty()) {
      *reason = words::kTrashRefused;
    }
  }
  // GIO writes its record without a flush, in the trash of the file's own file system (its
  // folder is noted as changed) or in the home trash: both are synced.
  if (!viaGio.empty()) {
    view_->dirtyDirs.insert(std::string(g_get_user_data_dir()) + "/Trash/info");
    try {
      view_->Flush();
    } catch (const FileError& e) {
      for (std::size_t i : viaGio)
        reasons[i] = words::kTrashRecordNotDurable + std::string(e.what());
    }
  }
  return reasons;
}

}  // namespace platform
