#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/codepage.h"
#include "platform/drive_linux.h"
#include "platform/wording.h"

// The freedesktop.org trash. A file on the file system of the user's own trash
// ($XDG_DATA_HOME/Trash) is moved there directly: the trash folder is found once, not again
// for every bulletin, and a move costs the .trashinfo and one rename. Any other file goes
// through GIO, which knows the trash folders of other file systems. Neither ever deletes.
namespace platform {
namespace {

struct HomeTrash {
  std::string files, info;
  std::string InfoOf(const std::string& name) const { return info + name + ".trashinfo"; }
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
// over rather than left behind as an orphan. A file already in files/ without its info is
// looked for only with `checkFiles`: the move finds it otherwise, and asks again.
int WriteInfo(const HomeTrash& trash, const std::string& base, const std::string& text,
              std::string& name, bool checkFiles) {
  const std::string pathLine =
      text.substr(text.find("Path="), text.find("\nDeletionDate=") - text.find("Path="));
  for (int n = 1; n < 10000; ++n) {
    name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string info = trash.InfoOf(name);
    int fd = open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
      struct stat st {};
      if (lstat((trash.files + name).c_str(), &st) == 0 || errno != ENOENT) continue;
      // Left empty by a power cut, it names nothing: taken over as well.
      const std::string left = PathLine(info);
      if (left != pathLine && !left.empty()) continue;
      fd = open(info.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
      if (fd < 0) continue;
    }
    if (fd < 0) return -1;
    struct stat taken {};
    if (checkFiles && lstat((trash.files + name).c_str(), &taken) == 0) {
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

int ThroughGio(const std::string& host, std::string& reason) {
  GFile* file = g_file_new_for_path(host.c_str());
  GError* error = nullptr;
  const gboolean ok = g_file_trash(file, nullptr, &error);
  g_object_unref(file);
  if (ok) return 0;
  const int code = error->code != 0 ? error->code : -1;
  reason = Utf8ToAnsi(error->message);  // GLib speaks UTF-8
  g_error_free(error);
  return code;
}

std::string Reason(int err) { return Utf8ToAnsi(std::strerror(err)); }

struct TrashItem {
  std::string host;
  std::string name;  // in the home trash; empty: through GIO
  bool gio = false;
};

// Moves one file whose record is durable in the home trash, or hands it to GIO when the home
// trash is on another file system; 0, or non-zero with the reason.
int TrashOne(SystemDrive::State& drive, TrashSteps& steps, TrashItem& item, const HomeTrash& trash,
             std::string& reason) {
  const auto move = [&] {
    return renameat2(AT_FDCWD, item.host.c_str(), AT_FDCWD, (trash.files + item.name).c_str(),
                     RENAME_NOREPLACE);
  };
  item.gio = item.name.empty();
  if (item.gio) return ThroughGio(item.host, reason);
  if (move() == 0) return 0;
  int err = errno;
  unlink(trash.InfoOf(item.name).c_str());
  // A file in files/ without its record took the name: another name, its record on disk first.
  if (err == EEXIST) {
    if (WriteInfo(trash, item.host.substr(item.host.rfind('/') + 1), InfoText(item.host), item.name,
                  true) != 0) {
      reason = Reason(errno);
      return -1;
    }
    drive.NoteCreated(trash.InfoOf(item.name));
    try {
      steps.Flush();
    } catch (const FileError& e) {
      unlink(trash.InfoOf(item.name).c_str());
      reason = words::kTrashNotDurable + std::string(e.what());
      return -1;
    }
    if (move() == 0) return 0;
    err = errno;
    unlink(trash.InfoOf(item.name).c_str());
  }
  item.gio = err == EXDEV;
  if (item.gio) return ThroughGio(item.host, reason);
  reason = Reason(err);
  return -1;
}

// Claims a file's name in the home trash by its record; a file whose record cannot be made
// there keeps no name and goes through GIO.
void ClaimName(SystemDrive::State& drive, std::string& trashRoot, TrashItem& item, HomeTrash& trash,
               bool& home) {
  home = home || FindHomeTrash(trashRoot, trash);
  if (!home) return;
  const std::string base = item.host.substr(item.host.rfind('/') + 1);
  if (WriteInfo(trash, base, InfoText(item.host), item.name, false) != 0) {
    item.name.clear();
    trashRoot.clear();  // looked for again next time
    home = false;
  } else {
    drive.NoteCreated(trash.InfoOf(item.name));
  }
}

// GIO writes its record without a flush, in the trash of the file's own file system (its
// folder is noted as changed), which is the home trash when that is on the same one: synced
// right after the move, so that no file waits in the trash for a later move with a record a
// power cut can empty. Empty, or why the record is not durable.
std::string FlushGioRecord(SystemDrive::State& drive, TrashSteps& steps, const std::string& host) {
  const std::string homeInfo = std::string(g_get_user_data_dir()) + "/Trash/info";
  struct stat home {
  }, file{};
  if (stat(homeInfo.c_str(), &home) != 0 ||
      stat(host.substr(0, host.rfind('/')).c_str(), &file) != 0 || home.st_dev == file.st_dev) {
    drive.NoteChanged(homeInfo);
  }
  try {
    steps.Flush();
  } catch (const FileError& e) {
    return words::kTrashRecordNotDurable + std::string(e.what());
  }
  return {};
}

}  // namespace

// First every .trashinfo, then one flush, then the moves: a file never reaches the trash
// before the record that lets the user restore it is on disk. Where GIO writes the record
// itself, the move is followed by a flush of its own.
std::vector<std::string> SystemDrive::MoveToTrash(const std::vector<std::string>& winPaths,
                                                  TrashSteps& steps) {
  std::vector<std::string> reasons(winPaths.size());
  std::vector<TrashItem> items(winPaths.size());
  std::vector<bool> named(winPaths.size(), false);
  HomeTrash trash;
  bool home = false;
  for (std::size_t i = 0; i < winPaths.size(); ++i) {
    try {
      items[i].host = HostPath(winPaths[i]);
      steps.Moving(winPaths[i]);
      ClaimName(*state_, state_->trashRoot, items[i], trash, home);
      named[i] = true;
    } catch (const FileError& e) {
      reasons[i] = e.reason();
    }
  }
  std::string flushError;
  try {
    steps.Flush();
  } catch (const FileError& e) {
    flushError = e.what();
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    TrashItem& item = items[i];
    if (!named[i]) continue;
    if (!flushError.empty()) {
      if (!item.name.empty()) unlink(trash.InfoOf(item.name).c_str());
      reasons[i] = words::kTrashNotDurable + flushError;
      continue;
    }
    std::string reason;
    if (TrashOne(*state_, steps, item, trash, reason) == 0) {
      if (!item.gio) state_->NoteCreated(trash.files + item.name);
      state_->NoteRemoved(item.host);
      if (item.gio) reasons[i] = FlushGioRecord(*state_, steps, item.host);
    } else {
      reasons[i] = reason.empty() ? words::kTrashRefused : reason;
    }
  }
  return reasons;
}

}  // namespace platform
