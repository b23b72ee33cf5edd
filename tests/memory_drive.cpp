#include "tests/memory_drive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/codepage.h"
#include "platform/home_trash.h"
#include "platform/winpath.h"
#include "platform/wording.h"

namespace test {
namespace {

using platform::FileError;

struct Object {
  bool folder = false;
  std::string data;     // what the run sees
  std::string durable;  // the start of `data` that a power cut cannot take
  std::uint64_t id = 0;
  const void* lockedBy = nullptr;  // the open file holding its first byte
  int opens = 0;                   // files open on it
  bool unflushed = false;          // listed in State::unflushed
};
using Node = std::shared_ptr<Object>;
// Keys: "C:" for the root, "C:\Winpack\Bulls" as stored, and "trash:files/<name>",
// "trash:info/<name>.trashinfo" for the trash; a flat map copies cheaply at each flush.
using Names = std::map<std::string, Node>;
// How many keys of the names bear each spelling with ASCII letters in lower case.
using Spellings = std::unordered_map<std::string, int>;
struct Change {
  std::string key;
  Node node;  // none: the entry goes
};
using Record = std::vector<Change>;  // folder changes that the journal commits as one

[[noreturn]] void Fail(int err, const std::string& abs) { throw FileError::FromErrno(err, abs); }

void Apply(Names& names, const Record& record) {
  for (const Change& c : record) {
    if (c.node) {
      names[c.key] = c.node;
    } else {
      names.erase(c.key);
    }
  }
}

// Calls `each` with the name of every entry directly in a folder, in sorted order; the
// trees below them are stepped over, so that a look into a folder costs what it holds.
template <typename Each>
void ForEachChild(const Names& names, const std::string& dir, Each each) {
  const std::string prefix = dir + "\\";
  auto it = names.lower_bound(prefix);
  while (it != names.end() && it->first.compare(0, prefix.size(), prefix) == 0) {
    const std::string_view name = std::string_view(it->first).substr(prefix.size());
    const std::size_t below = name.find('\\');
    if (below == std::string_view::npos) {
      each(name, it->second);
      ++it;
    } else {  // past "<name>\...": '\' + 1 sorts right after every key below the name
      it = names.lower_bound(it->first.substr(0, prefix.size() + below) + char('\\' + 1));
    }
  }
}

// The names directly in a folder.
std::vector<std::string> Children(const Names& names, const std::string& dir) {
  std::vector<std::string> found;
  ForEachChild(names, dir, [&](std::string_view name, const Node&) { found.emplace_back(name); });
  return found;
}

// The ordinary files directly in a folder; none in a file or in nothing.
std::vector<std::string> FilesOf(const Names& names, const std::string& dir) {
  std::vector<std::string> files;
  ForEachChild(names, dir, [&](std::string_view name, const Node& n) {
    if (!n->folder) files.emplace_back(name);
  });
  return files;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

// Whether Windows takes two names for one. ASCII letters fold among themselves alone, so two
// ASCII names are compared as they are; any other pair in the code page's folding.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;  // a byte is a character, and folds to one
  if (IsAscii(a) && IsAscii(b)) {
    return std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
      const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
      return lower(x) == lower(y);
    });
  }
  return platform::FoldedName(platform::AnsiToUtf8(a)) ==
         platform::FoldedName(platform::AnsiToUtf8(b));
}

// Whether ASCII letters fold among themselves alone in the system's code page: whether no
// character above ASCII folds to one of them. Asked once per run, as the code page is fixed.
bool AsciiFoldsAlone() {
  for (int b = 0x80; b <= 0xFF; ++b) {
    if (IsAscii(platform::FoldedName(platform::AnsiToUtf8(std::string(1, char(b)))))) return false;
  }
  return true;
}

std::string AsciiLowerCase(std::string s) {
  for (char& c : s) c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
  return s;
}

// As Windows finds a name: the exact one, else the first in sorted order that equals it
// without case; the name as written when none does.
std::string Child(const Names& names, const Spellings& spellings, bool asciiAlone,
                  const std::string& dir, const std::string& part) {
  const std::string exact = dir + "\\" + part;
  if (names.count(exact) != 0) return exact;
  // No other spelling of an ASCII name, none to look for: the run's new names, at one look.
  if (asciiAlone && IsAscii(part) && spellings.count(AsciiLowerCase(exact)) == 0) {
    return exact;
  }
  std::string found = part, sortKey;
  ForEachChild(names, dir, [&](std::string_view name, const Node&) {
    if (!SameName(name, part)) return;
    const std::string utf8 = platform::AnsiToUtf8(name);
    if (sortKey.empty() || utf8 < sortKey) {
      found = name;
      sortKey = utf8;
    }
  });
  return exact.substr(0, dir.size() + 1) + found;
}

struct Place {
  std::string key;
  bool dirFound = true;  // its folder exists: below a missing one, names stay as written
  Node node;             // what is there
};

Place Resolve(const Names& names, const Spellings& spellings, const std::string& abs,
              bool asciiAlone = AsciiFoldsAlone()) {
  const std::vector<std::string> parts = platform::winpath::Components(abs);
  if (!parts.empty()) {
    // A folder is only ever there inside its folders, so when the folder of the name is there
    // as written, so is each above it, and Windows takes those: only the last name is looked
    // for (the run's every call, at one look).
    std::string dir = "C:";
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) dir += "\\" + parts[i];
    if (const auto it = names.find(dir); it != names.end() && it->second->folder) {
      Place p{Child(names, spellings, asciiAlone, dir, parts.back()), true, nullptr};
      if (const auto at = names.find(p.key); at != names.end()) p.node = at->second;
      return p;
    }
  }
  Place p{"C:", true, nullptr};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    p.key =
        p.dirFound ? Child(names, spellings, asciiAlone, p.key, parts[i]) : p.key + "\\" + parts[i];
    if (i + 1 == parts.size()) break;
    auto it = names.find(p.key);
    p.dirFound = p.dirFound && it != names.end() && it->second->folder;
  }
  if (auto it = names.find(p.key); it != names.end()) p.node = it->second;
  return p;
}

// Where a host would keep the file: "/drive_c/Winpack/...", in UTF-8.
std::string HostOf(const std::string& key) {
  const std::string_view path = std::string_view(key).substr(2);
  std::string host = "/drive_c" + (IsAscii(path) ? std::string(path) : platform::AnsiToUtf8(path));
  std::replace(host.begin(), host.end(), '\\', '/');
  return host;
}

}  // namespace

struct MemoryDisk::State {
  Names names, durableNames;
  std::vector<Record> journal;  // folder changes since the last flush, in order
  std::vector<Node> unflushed;  // files that may hold bytes past `durable`
  std::uint64_t nextId = 1;
  int calls = 0;
  std::vector<int> flushes;  // the calls that made the disk durable
  int cutAt = 0;             // the counted call at which the power goes; 0: none
  bool off = false;          // the power went at cutAt
  int epoch = 0;             // a cut ends the process: views and files of an earlier epoch are dead
  bool oneName = false;      // a file keeps one name (FAT): no hard links
  bool openStays = false;    // an open file is not replaced (Windows)
  std::function<void()> beforeReplace;  // another program, just before each replacement

  Spellings spellings;  // of `names`

  State() {
    Commit({{"C:", NewNode(true)}});
    MakeDurable();
  }

  Node NewNode(bool folder) {
    auto n = std::make_shared<Object>();
    n->folder = folder;
    n->id = nextId++;
    Written(n);
    return n;
  }
  Node At(const std::string& key) const {
    auto it = names.find(key);
    return it == names.end() ? nullptr : it->second;
  }
  // Gives a key its node, or removes it (none).
  void Put(const std::string& key, Node node) {
    if (node) {
      if (names.insert_or_assign(key, std::move(node)).second) ++spellings[AsciiLowerCase(key)];
    } else if (names.erase(key) != 0) {
      const auto it = spellings.find(AsciiLowerCase(key));
      if (--it->second == 0) spellings.erase(it);
    }
  }
  void Reindex() {
    spellings.clear();
    for (const auto& [key, n] : names) ++spellings[AsciiLowerCase(key)];
  }
  void Commit(Record record) {
    for (const Change& c : record) Put(c.key, c.node);
    journal.push_back(std::move(record));
  }
  void Call(int viewEpoch, const std::string& abs) {
    if (off || viewEpoch != epoch) Fail(EIO, abs);
    if (++calls == cutAt) {
      off = true;
      Fail(EIO, abs);
    }
  }

  // A flush costs what changed since the last, not the whole disk: a station of thousands
  // of files flushes at each step of a run.
  void Written(const Node& n) {
    if (!n->unflushed) unflushed.push_back(n);
    n->unflushed = true;
  }
  void MakeDurable() {
    for (const Record& r : journal) Apply(durableNames, r);
    journal.clear();
    for (const Node& n : unflushed) {
      n->durable = n->data;
      n->unflushed = false;
    }
    unflushed.clear();
  }

  // The disk when the power is back: a prefix of the journal replayed on what was durable,
  // each file's unflushed tail kept, lost or torn; no process, so no lock.
  void Cut(std::mt19937_64* rng) {
    const std::size_t replayed = rng != nullptr ? (*rng)() % (journal.size() + 1) : 0;
    for (std::size_t i = 0; i < replayed; ++i) Apply(durableNames, journal[i]);
    journal.clear();
    names = durableNames;
    Reindex();
    std::set<Object*> seen;
    for (auto& [key, n] : names) {
      n->lockedBy = nullptr;
      const std::size_t tail = n->data.size() - n->durable.size();
      if (!seen.insert(n.get()).second || tail == 0) continue;
      std::size_t kept = 0;
      if (rng != nullptr) {
        const auto how = (*rng)() % 3;
        kept = how == 0 ? tail : how == 1 ? 0 : (*rng)() % (tail + 1);
      }
      n->data.resize(n->durable.size() + kept);
    }
    MakeDurable();
    off = false;
    cutAt = 0;
    ++epoch;
  }
};

namespace {

using State = MemoryDisk::State;

class MemoryFile final : public platform::OpenFile {
 public:
  MemoryFile(std::shared_ptr<State> s, Node node, std::string abs, bool reads, bool writes)
      : s_(std::move(s)),
        node_(std::move(node)),
        abs_(std::move(abs)),
        reads_(reads),
        writes_(writes),
        epoch_(s_->epoch) {
    ++node_->opens;
  }
  ~MemoryFile() override {
    Unlock();
    if (!closed_) --node_->opens;
  }

  std::size_t Read(char* buf, std::size_t size) override {
    Use(reads_);
    const std::size_t n = std::min(size, node_->data.size() - std::min(pos_, node_->data.size()));
    if (n > 0) std::memcpy(buf, node_->data.data() + pos_, n);
    pos_ += n;
    return n;
  }
  void Seek(std::uint64_t offset) override {
    Use(reads_);
    pos_ = offset;
  }
  std::size_t Write(const char* data, std::size_t size) override {
    Use(writes_);
    s_->Written(node_);
    node_->data.append(data, size);  // a new file or one opened to append: always at the end
    return size;
  }
  void Close() override {
    const bool open = !closed_;
    if (open) --node_->opens;
    closed_ = true;
    Unlock();
    s_->Call(epoch_, abs_);
    if (!open) Fail(EBADF, abs_);
  }

  bool Lock() {
    if (node_->lockedBy != nullptr && node_->lockedBy != this) return false;
    node_->lockedBy = this;
    return true;
  }
  const Node& node() const { return node_; }

 private:
  void Use(bool allowed) {
    s_->Call(epoch_, abs_);
    if (closed_ || !allowed) Fail(EBADF, abs_);
  }
  void Unlock() {
    if (node_->lockedBy == this) node_->lockedBy = nullptr;
  }

  std::shared_ptr<State> s_;
  Node node_;
  std::string abs_;
  bool reads_, writes_;
  int epoch_;
  std::size_t pos_ = 0;
  bool closed_ = false;
};

class MemoryDrive final : public platform::Drive {
 public:
  explicit MemoryDrive(std::shared_ptr<State> s)
      : s_(std::move(s)), epoch_(s_->epoch), asciiAlone_(AsciiFoldsAlone()) {}

  std::string HostPath(const std::string& abs) override {
    Call(abs);
    return HostOf(Find(abs).key);
  }
  bool EntryExists(const std::string& abs) override {
    Call(abs);
    return Find(abs).node != nullptr;
  }
  bool IsDirectory(const std::string& abs) override {
    Call(abs);
    const Node n = Find(abs).node;
    return n && n->folder;
  }
  void MakeDir(const std::string& abs) override {
    Call(abs);
    const Place p = Find(abs);
    if (!p.dirFound) Fail(ENOENT, abs);
    if (p.node) Fail(EEXIST, abs);
    s_->Commit({{p.key, s_->NewNode(true)}});
  }
  void RemoveFile(const std::string& abs) override {
    Call(abs);
    const Place p = Find(abs);
    if (!p.node) Fail(ENOENT, abs);
    if (p.node->folder) Fail(EISDIR, abs);
    s_->Commit({{p.key, nullptr}});
  }
  void RemoveDir(const std::string& abs) override {
    Call(abs);
    const Place p = Find(abs);
    if (!p.node) Fail(ENOENT, abs);
    if (!p.node->folder) Fail(ENOTDIR, abs);
    if (p.key == "C:") Fail(EBUSY, abs);
    if (!Children(s_->names, p.key).empty()) Fail(ENOTEMPTY, abs);
    s_->Commit({{p.key, nullptr}});
  }
  std::vector<std::string> FileNames(const std::string& abs) override {
    Call(abs);
    return FilesOf(s_->names, Find(abs).key);
  }

  void ReplaceFile(const std::string& from, const std::string& to) override {
    Call(to);
    Replace(from, to);
  }
  bool RenameNew(const std::string& from, const std::string& to) override {
    Call(to);
    const Place f = Find(from), t = Find(to);
    if (!f.node || !t.dirFound) Fail(ENOENT, to);
    // Windows refuses the name in any case: so does this drive, for the program's sake.
    if (t.node) return false;
    Move(f.key, t.key, to);
    return true;
  }
  bool LinkNew(const std::string& existing, const std::string& name) override {
    Call(name);
    const Place e = Find(existing), t = Find(name);
    if (!e.node || !t.dirFound) Fail(ENOENT, name);
    if (e.node->folder || t.node || s_->oneName) return false;
    s_->Commit({{t.key, e.node}});
    return true;
  }
  bool ReplaceUnlessOpen(const std::string& from, const std::string& to) override {
    if (s_->beforeReplace && !s_->off) s_->beforeReplace();
    Call(to);
    // As Linux: an open file is put out of place like any other; as Windows: not at all.
    if (const Node there = Find(to).node; s_->openStays && there && there->opens > 0) return false;
    Replace(from, to);
    return true;
  }

  std::string FinalPath(const std::string& abs) override {
    Call(abs);
    Find(abs);  // a path off drive C: throws; there are no links to follow
    return abs;
  }
  std::string FileId(const std::string& abs) override {
    Call(abs);
    const Node n = Find(abs).node;
    return n ? "memory:" + std::to_string(n->id) : std::string();
  }

  void Flush() override {
    Call("C:\\");
    s_->MakeDurable();
    s_->flushes.push_back(s_->calls);
  }
  void Adopt(const std::string&) override {}  // the flush makes the whole drive durable
  std::vector<std::string> MoveToTrash(const std::vector<std::string>& abs,
                                       platform::TrashSteps& steps) override;

  std::unique_ptr<platform::OpenFile> OpenRead(const std::string& abs, platform::Links,
                                               std::optional<FileError>* failure) override {
    try {
      Call(abs);
      const Node n = Find(abs).node;
      if (!n) Fail(ENOENT, abs);
      if (n->folder) throw FileError(FileError::Kind::kOther, abs, platform::words::kNotOrdinary);
      return std::make_unique<MemoryFile>(s_, n, abs, true, false);
    } catch (const FileError& e) {
      if (failure != nullptr) failure->emplace(e);
      return nullptr;
    }
  }
  std::unique_ptr<platform::OpenFile> OpenWrite(const std::string& abs,
                                                platform::Create how) override;
  bool Names(const std::string& abs, platform::OpenFile& file) override {
    Call(abs);
    const auto* mine = dynamic_cast<MemoryFile*>(&file);
    return mine != nullptr && Find(abs).node == mine->node();
  }
  bool AwaitAlone(const std::string& abs, platform::OpenFile*, platform::Look,
                  std::chrono::milliseconds) override {
    Call(abs);
    return true;  // no other program lives in memory
  }

  std::unique_ptr<platform::OpenFile> OpenLockFile(const std::string& abs) override {
    Call(abs);
    const Place p = Find(abs);
    if (!p.dirFound) Fail(ENOENT, abs);
    Node n = p.node;
    if (n && n->folder) Fail(EISDIR, abs);
    if (!n) s_->Commit({{p.key, n = s_->NewNode(false)}});
    return std::make_unique<MemoryFile>(s_, n, abs, true, true);
  }
  bool LockFirstByte(platform::OpenFile& lock, const std::string& abs) override {
    Call(abs);
    return dynamic_cast<MemoryFile&>(lock).Lock();
  }
  void RemoveLockFile(platform::OpenFile&, const std::string& abs) noexcept override {
    try {
      Call(abs);
      const Place p = Find(abs);
      if (p.node && !p.node->folder) s_->Commit({{p.key, nullptr}});
    } catch (const FileError&) {
    }
  }

 private:
  friend class MemoryTrash;
  void Call(const std::string& abs) { s_->Call(epoch_, abs); }
  Place Find(const std::string& abs) const {
    return Resolve(s_->names, s_->spellings, abs, asciiAlone_);
  }

  void Replace(const std::string& from, const std::string& to) {
    const Place f = Find(from), t = Find(to);
    if (!f.node || !t.dirFound) Fail(ENOENT, to);
    Move(f.key, t.key, to);
  }

  // One journal record: the entry, and a folder's whole tree, under its new key.
  void Move(const std::string& from, const std::string& to, const std::string& abs) {
    const Node n = s_->At(from), there = s_->At(to);
    if (there == n) return;  // the same file: rename(2) leaves both names
    if (there && there->folder != n->folder) Fail(n->folder ? ENOTDIR : EISDIR, abs);
    if (there && !Children(s_->names, to).empty()) Fail(ENOTEMPTY, abs);
    if (to.compare(0, from.size() + 1, from + "\\") == 0) Fail(EINVAL, abs);
    Record r{{from, nullptr}, {to, n}};
    const std::string below = from + "\\";
    for (auto it = s_->names.lower_bound(below);
         it != s_->names.end() && it->first.compare(0, below.size(), below) == 0; ++it) {
      r.push_back({it->first, nullptr});
      r.push_back({to + it->first.substr(from.size()), it->second});
    }
    s_->Commit(std::move(r));
  }

  std::shared_ptr<State> s_;
  int epoch_;
  bool asciiAlone_;
};

std::unique_ptr<platform::OpenFile> MemoryDrive::OpenWrite(const std::string& abs,
                                                           platform::Create how) {
  Call(abs);
  const Place p = Find(abs);
  if (!p.dirFound) Fail(ENOENT, abs);
  Node n = p.node;
  if (n && n->folder) Fail(EISDIR, abs);
  if (n && how == platform::Create::kAppend) {
    const auto names = std::count_if(s_->names.begin(), s_->names.end(),
                                     [&](const auto& entry) { return entry.second == n; });
    if (names > 1) throw FileError(FileError::Kind::kOther, abs, platform::words::kHardLinked);
    return std::make_unique<MemoryFile>(s_, n, abs, false, true);
  }
  // Never written through an entry already there: it goes, and a new file takes its name.
  if (n) s_->Commit({{p.key, nullptr}});
  s_->Commit({{p.key, n = s_->NewNode(false)}});
  return std::make_unique<MemoryFile>(s_, n, abs, false, true);
}

// The trash of the drive in memory, under keys of its own.
class MemoryTrash final : public platform::TrashFolder {
 public:
  explicit MemoryTrash(MemoryDrive& drive, State& s) : drive_(drive), s_(s) {}

  std::string Where(const std::string& abs) override { return drive_.Find(abs).key; }
  bool Ready() override { return true; }
  std::string RecordOf(const std::string& key) override {
    return "[Trash Info]\nPath=" + HostOf(key) + "\n";
  }
  bool WriteRecord(const std::string& name, const std::string& text, bool fresh) override {
    if (fresh && s_.At(Info(name))) return false;
    const Node record = s_.NewNode(false);
    record->data = text;
    s_.Commit({{Info(name), record}});
    return true;
  }
  std::string ReadRecord(const std::string& name) override {
    const Node record = s_.At(Info(name));
    return record ? record->data : std::string();
  }
  bool FileTaken(const std::string& name) override { return s_.At(File(name)) != nullptr; }
  void RemoveRecord(const std::string& name) noexcept override {
    if (s_.At(Info(name))) s_.Commit({{Info(name), nullptr}});
  }
  Move MoveIn(const std::string& key, const std::string& name) override {
    if (FileTaken(name)) return Move::kTaken;
    if (!s_.At(key)) Fail(ENOENT, key);
    drive_.Move(key, File(name), key);
    return Move::kMoved;
  }
  bool Elsewhere(const std::string&, std::string&) override { return false; }  // never asked

 private:
  static std::string Info(const std::string& name) { return "trash:info/" + name + ".trashinfo"; }
  static std::string File(const std::string& name) { return "trash:files/" + name; }

  MemoryDrive& drive_;
  State& s_;
};

std::vector<std::string> MemoryDrive::MoveToTrash(const std::vector<std::string>& abs,
                                                  platform::TrashSteps& steps) {
  Call("C:\\");
  MemoryTrash trash(*this, *s_);
  return platform::MoveToHomeTrash(trash, abs, steps);
}

}  // namespace

MemoryDisk::MemoryDisk() : state_(std::make_shared<State>()) {}
MemoryDisk::~MemoryDisk() = default;

std::unique_ptr<platform::Drive> MemoryDisk::Open() {
  return std::make_unique<MemoryDrive>(state_);
}

void MemoryDisk::FailAtCall(int n) { state_->cutAt = state_->calls + n; }
int MemoryDisk::Calls() const { return state_->calls; }
bool MemoryDisk::PowerIsOff() const { return state_->off; }
const std::vector<int>& MemoryDisk::Flushes() const { return state_->flushes; }

void MemoryDisk::CutPower() { state_->Cut(nullptr); }
void MemoryDisk::CutPower(std::uint64_t seed) {
  std::mt19937_64 rng(seed);  // its output is fixed by the standard: one seed, one cut anywhere
  state_->Cut(&rng);
}

void MemoryDisk::Write(const std::string& abs, const std::string& bytes) {
  if (abs.rfind("trash:", 0) == 0) {  // the trash's own names, as Snapshot gives them
    const Node file = state_->NewNode(false);
    file->data = bytes;
    state_->Commit({{abs, file}});
    state_->MakeDurable();
    return;
  }
  const std::vector<std::string> parts = platform::winpath::Components(abs);
  if (parts.empty()) Fail(EISDIR, abs);
  std::string key = "C:";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    key += "\\" + parts[i];
    const Node n = state_->At(key);
    if (i + 1 < parts.size() && !n) state_->Commit({{key, state_->NewNode(true)}});
    if (i + 1 < parts.size() && n && !n->folder) Fail(ENOTDIR, abs);
  }
  const Node file = state_->NewNode(false);
  file->data = bytes;
  state_->Commit({{key, file}});
  state_->MakeDurable();
}

namespace {

// The key of a path with every name as written.
std::string KeyAsWritten(const std::string& abs) {
  std::string key = "C:";
  for (const std::string& part : platform::winpath::Components(abs)) key += "\\" + part;
  return key;
}

// The keys of an entry and of everything below it.
std::vector<std::string> Tree(const Names& names, const std::string& key) {
  std::vector<std::string> keys;
  if (names.count(key) != 0) keys.push_back(key);
  const std::string below = key + "\\";
  for (auto it = names.lower_bound(below);
       it != names.end() && it->first.compare(0, below.size(), below) == 0; ++it) {
    keys.push_back(it->first);
  }
  return keys;
}

}  // namespace

void MemoryDisk::MakeDir(const std::string& abs) {
  std::string key = "C:";
  for (const std::string& part : platform::winpath::Components(abs)) {
    key += "\\" + part;
    const Node n = state_->At(key);
    if (n && !n->folder) Fail(ENOTDIR, abs);
    if (!n) state_->Commit({{key, state_->NewNode(true)}});
  }
  state_->MakeDurable();
}

void MemoryDisk::Remove(const std::string& abs) {
  const std::string key = KeyAsWritten(abs);
  if (key == "C:") Fail(EBUSY, abs);
  for (const std::string& k : Tree(state_->names, key)) state_->Commit({{k, nullptr}});
  state_->MakeDurable();
}

void MemoryDisk::Rename(const std::string& from, const std::string& to) {
  const std::string fromKey = KeyAsWritten(from), toKey = KeyAsWritten(to);
  const std::vector<std::string> keys = Tree(state_->names, fromKey);
  const Node there = state_->At(toKey);
  if (keys.empty() || !state_->At(toKey.substr(0, toKey.rfind('\\')))) Fail(ENOENT, to);
  if (there && (there->folder || state_->names.at(fromKey)->folder)) Fail(EEXIST, to);
  if (there) state_->Commit({{toKey, nullptr}});  // a file takes the place of one, as rename(2)
  for (const std::string& k : keys) {
    state_->Commit({{toKey + k.substr(fromKey.size()), state_->names.at(k)}, {k, nullptr}});
  }
  state_->MakeDurable();
}

bool MemoryDisk::ExistsAsWritten(const std::string& abs) const {
  return state_->names.count(KeyAsWritten(abs)) != 0;
}

std::vector<std::string> MemoryDisk::EntriesIn(const std::string& abs) const {
  return Children(state_->names, Resolve(state_->names, state_->spellings, abs).key);
}

void MemoryDisk::CopyFrom(const MemoryDisk& other) {
  if (&other == this) return;
  const State& from = *other.state_;
  State& to = *state_;
  // One copy per file, so that a file of two names keeps them both.
  std::map<const Object*, Node> copies;
  const auto copy = [&](const Node& n) -> Node {
    if (!n) return n;
    Node& c = copies[n.get()];
    if (!c) {
      c = std::make_shared<Object>(*n);
      c->lockedBy = nullptr;
    }
    return c;
  };
  to.names.clear();
  to.durableNames.clear();
  for (const auto& [key, n] : from.names) to.names.emplace_hint(to.names.end(), key, copy(n));
  for (const auto& [key, n] : from.durableNames) {
    to.durableNames.emplace_hint(to.durableNames.end(), key, copy(n));
  }
  to.journal.clear();
  for (const Record& r : from.journal) {
    Record& mine = to.journal.emplace_back();
    for (const Change& c : r) mine.push_back({c.key, copy(c.node)});
  }
  to.Reindex();
  to.unflushed.clear();
  for (const auto& [original, c] : copies) {
    c->unflushed = false;
    if (c->data.size() != c->durable.size()) to.Written(c);
  }
  to.nextId = from.nextId;
  to.cutAt = 0;
  to.off = false;
  ++to.epoch;
}

void MemoryDisk::Append(const std::string& abs, const std::string& bytes) {
  const Node n = Resolve(state_->names, state_->spellings, abs).node;
  if (!n || n->folder) Fail(n ? EISDIR : ENOENT, abs);
  n->data += bytes;
  state_->Written(n);
}

void MemoryDisk::KeepOneNameAFile() { state_->oneName = true; }

void MemoryDisk::ReplaceNoOpenFile() { state_->openStays = true; }

void MemoryDisk::BeforeEachReplace(std::function<void()> meddle) {
  state_->beforeReplace = std::move(meddle);
}

std::string MemoryDisk::Read(const std::string& abs) const {
  const Node n = Resolve(state_->names, state_->spellings, abs).node;
  if (!n || n->folder) Fail(n ? EISDIR : ENOENT, abs);
  return n->data;
}

bool MemoryDisk::Exists(const std::string& abs) const {
  return Resolve(state_->names, state_->spellings, abs).node != nullptr;
}

std::vector<std::string> MemoryDisk::FilesIn(const std::string& abs) const {
  return FilesOf(state_->names, Resolve(state_->names, state_->spellings, abs).key);
}

std::map<std::string, std::string> MemoryDisk::Snapshot() const {
  std::map<std::string, std::string> files;
  for (const auto& [key, n] : state_->names) {
    if (n->folder) continue;
    const bool trash = key.rfind("trash:", 0) == 0;
    files[!trash         ? HostOf(key).substr(1)
          : IsAscii(key) ? key
                         : platform::AnsiToUtf8(key)] = n->data;
  }
  return files;
}

}  // namespace test
