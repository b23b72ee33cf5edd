#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/drive_linux.h"
#include "platform/home_trash.h"

// The freedesktop.org trash's calls on Linux. A file on the file system of the user's own
// trash ($XDG_DATA_HOME/Trash) is moved there directly: the trash folder is found once, not
// again for every bulletin, and a move costs the .trashinfo and one rename. Any other file
// goes through GIO. Neither ever deletes.
namespace platform {
namespace {

struct HomeTrash {
  std::string files, info;
  std::string InfoOf(const std::string& name) const { return info + name + ".trashinfo"; }
};

// With the folders above it, as GIO makes them: a new account may have no $XDG_DATA_HOME yet,
// and its files would otherwise all go the slow way, through GIO.
bool MakeFolder(const std::string& path) {
  struct stat st {};
  return g_mkdir_with_parents(path.c_str(), 0700) == 0 && stat(path.c_str(), &st) == 0 &&
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

// The folder a file system is mounted on: the highest folder above `dir` on the same device.
std::string MountTop(std::string dir, dev_t dev) {
  while (dir.size() > 1) {
    const std::string up = dir.substr(0, std::max<std::size_t>(dir.rfind('/'), 1));
    struct stat st {};
    if (stat(up.c_str(), &st) != 0 || st.st_dev != dev) break;
    dir = up;
  }
  return dir;
}

class HomeTrashFolder final : public TrashFolder {
 public:
  HomeTrashFolder(SystemDrive& drive, SystemDrive::State& state) : drive_(drive), state_(state) {}

  std::string Where(const std::string& abs) override { return drive_.HostPath(abs); }
  bool Ready() override { return FindHomeTrash(state_.trashRoot, trash_); }
  std::string RecordOf(const std::string& host) override { return InfoText(host); }
  bool WriteRecord(const std::string& name, const std::string& text, bool fresh) override {
    const std::string info = trash_.InfoOf(name);
    const int how = fresh ? O_CREAT | O_EXCL : O_TRUNC | O_NOFOLLOW;
    const int fd = open(info.c_str(), O_WRONLY | O_CLOEXEC | how, 0600);
    if (fd < 0 && fresh && errno == EEXIST) return false;
    if (fd < 0) Fail(errno, info);
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const int err = errno;
    if (close(fd) != 0 || !written) {
      const int why = written ? errno : err;
      unlink(info.c_str());
      Fail(why, info);
    }
    state_.NoteCreated(info);
    return true;
  }
  std::string ReadRecord(const std::string& name) override {
    const int fd = open(trash_.InfoOf(name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    char buf[8192];
    const ssize_t n = read(fd, buf, sizeof buf);
    close(fd);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
  }
  bool FileTaken(const std::string& name) override {
    struct stat st {};
    return lstat((trash_.files + name).c_str(), &st) == 0 || errno != ENOENT;
  }
  void RemoveRecord(const std::string& name) noexcept override {
    unlink(trash_.InfoOf(name).c_str());
  }
  Move MoveIn(const std::string& host, const std::string& name) override {
    const std::string to = trash_.files + name;
    if (const int err = RenameNoReplace(host, to); err == EEXIST) {
      return Move::kTaken;
    } else if (err == EXDEV) {
      return Move::kOtherDisk;
    } else if (err != 0) {
      throw FileError::FromErrno(err, host);
    }
    state_.NoteCreated(to);
    state_.NoteRemoved(host);
    return Move::kMoved;
  }
  // GIO knows the trash folders of other file systems. It writes its record without a flush,
  // in the trash of the file's own file system, which is the home trash when that is on the
  // same one: its folder is noted as changed, for the flush that follows.
  bool Elsewhere(const std::string& host, std::string& reason) override {
    GFile* gfile = g_file_new_for_path(host.c_str());
    GError* error = nullptr;
    const gboolean ok = g_file_trash(gfile, nullptr, &error);
    g_object_unref(gfile);
    if (!ok) {
      reason = Utf8ToAnsi(error->message);  // GLib speaks UTF-8
      g_error_free(error);
      return false;
    }
    state_.NoteRemoved(host);
    const std::string homeInfo = std::string(g_get_user_data_dir()) + "/Trash/info";
    const std::string folder = host.substr(0, host.rfind('/'));
    struct stat home {
    }, file{};
    const bool homeKnown = stat(homeInfo.c_str(), &home) == 0;
    const bool fileKnown = stat(folder.c_str(), &file) == 0;
    if (!homeKnown || !fileKnown || home.st_dev == file.st_dev) state_.NoteChanged(homeInfo);
    if (fileKnown && (!homeKnown || home.st_dev != file.st_dev)) {
      NoteTopTrash(MountTop(folder, file.st_dev));
    }
    return true;
  }

 private:
  // The trash of another file system is at its top, in .Trash/<uid> or .Trash-<uid>, which
  // GIO may have made for this file.
  void NoteTopTrash(const std::string& top) {
    const std::string uid = std::to_string(getuid());
    state_.NoteChanged(top);
    for (const std::string& trash : {top + "/.Trash/" + uid, top + "/.Trash-" + uid}) {
      for (const std::string& dir : {trash, trash + "/files", trash + "/info"}) {
        struct stat st {};
        if (lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) state_.NoteChanged(dir);
      }
    }
  }

  // A record that cannot be written sends the trash folder to be looked for again.
  [[noreturn]] void Fail(int err, const std::string& info) {
    state_.trashRoot.clear();
    throw FileError::FromErrno(err, info);
  }

  SystemDrive& drive_;
  SystemDrive::State& state_;
  HomeTrash trash_;
};

}  // namespace

std::vector<std::string> SystemDrive::MoveToTrash(const std::vector<std::string>& winPaths,
                                                  TrashSteps& steps) {
  HomeTrashFolder folder(*this, *state_);
  return MoveToHomeTrash(folder, winPaths, steps);
}

}  // namespace platform
