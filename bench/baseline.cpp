#include "bench/baseline.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bench/station.h"

// The same outputs as an archive run, made with the fewest system calls a careful
// hand-written program needs on this station: it knows the real spelling of every folder,
// reads each folder of archive files once, and keeps its own count of free names. It gives
// the same guarantees in the same order, with as few flushes: it holds the run lock, writes
// each batch of copies under temporary names with their journal, syncs the file system once,
// gives the copies their final names and writes the trash records, syncs once more, and only
// then moves the batch's bulletins to the trash; the new list is synced before and after it
// takes its name, and keeps every line Winpack writes to the old one meanwhile.
namespace bench {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

// What was written to a file past its first `from` bytes.
std::string ReadFrom(const std::string& path, std::size_t from) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || lseek(fd, static_cast<off_t>(from), SEEK_SET) < 0) Fail(path);
  std::string text;
  char buf[65536];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
    text.append(buf, static_cast<std::size_t>(n));
  close(fd);
  return text;
}

std::string ReadAll(const std::string& path) { return ReadFrom(path, 0); }

void WriteAll(int fd, const std::string& bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) Fail(path);
    done += static_cast<std::size_t>(n);
  }
}

std::string FirstLine(const std::string& text, std::size_t from = 0) {
  const std::size_t end = text.find_first_of("\r\n", from);
  return text.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// Each line ends in CR LF, whatever it ended in.
std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 64);
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t end = text.find_first_of("\r\n", i);
    if (end == std::string::npos) {
      out.append(text, i, std::string::npos);
      out += "\r\n";
      break;
    }
    out.append(text, i, end - i);
    out += "\r\n";
    i = end + 1;
    if (text[end] == '\r' && i < text.size() && text[i] == '\n') ++i;
  }
  return out;
}

void Sync(const std::string& dir, double& seconds) {
  const auto start = std::chrono::steady_clock::now();
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || syncfs(fd) != 0) Fail(dir);
  close(fd);
  seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Whether a process other than this one has the file open, found through /proc.
bool HeldElsewhere(const struct stat& file) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) Fail("/proc");
  const std::string self = std::to_string(getpid());
  bool held = false;
  while (const dirent* p = held ? nullptr : readdir(proc)) {
    if (!std::isdigit(static_cast<unsigned char>(p->d_name[0])) || self == p->d_name) continue;
    const std::string fds = std::string("/proc/") + p->d_name + "/fd/";
    DIR* dir = opendir(fds.c_str());
    while (const dirent* f = dir == nullptr || held ? nullptr : readdir(dir)) {
      struct stat st {};
      held = f->d_name[0] != '.' && stat((fds + f->d_name).c_str(), &st) == 0 &&
             st.st_dev == file.st_dev && st.st_ino == file.st_ino;
    }
    if (dir != nullptr) closedir(dir);
  }
  closedir(proc);
  return held;
}

void AwaitAlone(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) Fail(path);
  while (HeldElsewhere(st)) usleep(1000);
}

struct Moved {
  std::string bulletin, temp, copy, info, trashed;
};

struct Folder {
  std::string path;
  int next = 1;                   // lowest number not known to be taken today
  std::unordered_set<int> taken;  // today's numbers in the folder
};

}  // namespace

double Baseline(const std::string& prefix, const std::string& dataHome) {
  double flushSeconds = 0;
  const std::string wp = prefix + "/drive_c/Winpack";
  const std::string bulls = wp + "/Bulls";
  const std::string archive = wp + "/Archive/Bulls";
  const std::string trash = dataHome + "/Trash";
  const std::string lock = bulls + "/MARKED.LCK";
  const int lockFd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lockFd < 0 || flock(lockFd, LOCK_EX | LOCK_NB) != 0) Fail(lock);
  const std::string staging = archive + "/Kelvaron.tmp";
  mkdir(staging.c_str(), 0777);
  const std::string journal = bulls + "/MARKED.JNL";
  unlink(journal.c_str());  // made new, never written through another name of a file
  const int journalFd = open(journal.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (journalFd < 0) Fail(journal);
  const std::string token = "0123abcd";
  bool begun = false;  // the staging prefix is claimed durably before the first copy
  mkdir(trash.c_str(), 0700);
  mkdir((trash + "/files").c_str(), 0700);
  mkdir((trash + "/info").c_str(), 0700);

  const long last = std::stol(FirstLine(ReadAll(bulls + "/Lastnum.txt")));
  const std::string ini = ReadAll(wp + "/Packet.ini");
  const std::size_t at = ini.find("PRUNE_SIZE=");
  const long limit = last - std::stol(FirstLine(ini, at + 11));
  std::unordered_set<std::string> groups;
  const std::string sel = ReadAll(wp + "/Kelvaron.INI");
  for (std::size_t i = sel.find("[Kelvaron]\r\n") + 12; i < sel.size();) {
    const std::size_t end = sel.find("\r\n", i);
    groups.insert(sel.substr(i, end - i));
    i = end + 2;
  }

  // Existing group folders by their upper-case name.
  std::unordered_map<std::string, Folder> folders;
  if (DIR* dir = opendir(archive.c_str())) {
    while (const dirent* e = readdir(dir)) {
      std::string key = e->d_name;
      for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      folders[key].path = archive + "/" + e->d_name;
    }
    closedir(dir);
  }

  char date[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);

  const std::string marked = ReadAll(bulls + "/MARKED.TXT");
  std::string out;
  out.reserve(marked.size() + marked.size() / 10);
  std::vector<Moved> batch;
  std::string journalText;
  const auto completeBatch = [&] {
    if (batch.empty()) return;
    WriteAll(journalFd, journalText, journal);
    journalText.clear();
    Sync(bulls, flushSeconds);
    for (const Moved& m : batch) {
      if (renameat2(AT_FDCWD, m.temp.c_str(), AT_FDCWD, m.copy.c_str(), RENAME_NOREPLACE) != 0) {
        Fail(m.copy);
      }
      const int info_fd = open(m.info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (info_fd < 0) Fail(m.info);
      WriteAll(info_fd, "[Trash Info]\nPath=" + m.bulletin + "\nDeletionDate=" + date + "\n",
               m.info);
      close(info_fd);
    }
    Sync(bulls, flushSeconds);
    for (const Moved& m : batch) {
      if (renameat2(AT_FDCWD, m.bulletin.c_str(), AT_FDCWD, m.trashed.c_str(), RENAME_NOREPLACE) !=
          0) {
        Fail(m.bulletin);
      }
    }
    batch.clear();
  };
  double lastNum = 1;
  std::size_t i = 0;
  while (lastNum < static_cast<double>(limit) && i < marked.size()) {
    const std::size_t end = marked.find("\r\n", i);
    std::string line = marked.substr(i, end - i);
    i = end + 2;
    const std::string num = line.substr(0, 6);
    lastNum = std::stod(num);
    const std::string path = bulls + "/" + num.substr(5) + "/" + num + ".TXT";
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat st {};
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {  // a folder, pipe, device
      close(fd);
      fd = -1;
    }
    if (fd >= 0) {
      std::string text;
      char buf[65536];
      for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
      close(fd);
      const std::size_t second = text.find("\r\n") + 2;
      std::string group = FirstLine(text, second).substr(13, 6);
      group.erase(group.find_last_not_of(' ') + 1);
      if (groups.count(group) != 0) {
        Folder& folder = folders[group];
        if (folder.path.empty()) {
          folder.path = archive + "/" + group.substr(0, 1);
          for (std::size_t k = 1; k < group.size(); ++k) {
            folder.path += static_cast<char>(std::tolower(static_cast<unsigned char>(group[k])));
          }
          if (mkdir(folder.path.c_str(), 0777) != 0) Fail(folder.path);
        }
        if (folder.next == 1 && folder.taken.empty()) {
          if (DIR* dir = opendir(folder.path.c_str())) {
            while (const dirent* e = readdir(dir)) {
              if (std::strncmp(e->d_name, kStamp, 6) == 0)
                folder.taken.insert(std::atoi(e->d_name + 6));
            }
            closedir(dir);
          }
        }
        while (folder.taken.count(folder.next) != 0) ++folder.next;
        char name[32];
        std::snprintf(name, sizeof name, "%s%02d.TXT", kStamp, folder.next);
        folder.taken.insert(folder.next);
        const std::string copy = folder.path + "/" + name;
        if (!begun) {
          WriteAll(journalFd, "S " + token + "\r\n", journal);
          Sync(bulls, flushSeconds);
          begun = true;
        }
        const std::string temp = staging + "/" + token + "-" +
                                 folder.path.substr(folder.path.rfind('/') + 1) + "-" + name;
        const int out_fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out_fd < 0) Fail(temp);
        WriteAll(out_fd, WithCrLf(text), temp);
        close(out_fd);
        journalText +=
            "#\r\nB " + path + "\r\nT " + temp + "\r\nA " + copy + "\r\nL " + line + "\r\n";
        batch.push_back({path, temp, copy, trash + "/info/" + num + ".TXT.trashinfo",
                         trash + "/files/" + num + ".TXT"});
        line.insert(line.find(',') + 1, 1, 'K');
      }
    }
    out += line + "\r\n";
    if (batch.size() == 512) completeBatch();
  }
  completeBatch();
  out.append(marked, i, std::string::npos);

  // Winpack may write to the list at any moment. The old list keeps a second name, noted in
  // the journal, through its replacement; the new one takes its name once nobody holds the
  // old one; and what was written to the old one in the instant goes on into the new one.
  const std::string list = bulls + "/MARKED.TXT", tmp = bulls + "/MARKED.TMP";
  const std::string second = bulls + "/MARKED.WAS";
  unlink(tmp.c_str());
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) Fail(tmp);
  WriteAll(fd, out, tmp);
  WriteAll(journalFd, "O " + std::to_string(marked.size()) + "\r\n", journal);
  Sync(bulls, flushSeconds);
  if (link(list.c_str(), second.c_str()) != 0) Fail(second);
  AwaitAlone(list);
  const std::string late = ReadFrom(list, marked.size());
  WriteAll(fd, late, tmp);
  close(fd);
  if (rename(tmp.c_str(), list.c_str()) != 0) Fail(tmp);
  // A program that found the old list by its name just before may have it open a moment later.
  usleep(50'000);
  AwaitAlone(second);
  const std::string later = ReadFrom(second, marked.size() + late.size());
  if (!later.empty()) {
    const int more = open(list.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (more < 0) Fail(list);
    WriteAll(more, later, list);
    close(more);
  }
  Sync(bulls, flushSeconds);
  unlink(second.c_str());
  close(journalFd);
  unlink(journal.c_str());
  rmdir(staging.c_str());
  unlink(lock.c_str());
  close(lockFd);
  return flushSeconds;
}

}  // namespace bench
