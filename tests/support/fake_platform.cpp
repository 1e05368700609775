#include "support/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// A test whose logic loops would otherwise never end.
constexpr size_t kMostPrompts = 200;

void Fill(char* area, uint32_t limit, const std::string& value) {
  if (limit == 0) return;
  size_t length = std::min<size_t>(value.size(), limit - 1);
  std::memcpy(area, value.data(), length);
  area[length] = '\0';
}

// As the system's functions that return a text's length answer: the size the area needs
// when the text does not fit, else the text and its length.
uint32_t Answer(char* area, uint32_t limit, const std::string& value) {
  uint32_t length = static_cast<uint32_t>(value.size());
  if (length >= limit) return length + 1;
  Fill(area, limit, value);
  return length;
}

// Wildcard match of a file name, as the Windows file search does it ('*' and '?').
bool Matches(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*')
    return Matches(pattern + 1, name) || (*name != '\0' && Matches(pattern, name + 1));
  if (*name == '\0') return false;
  return (*pattern == '?' || *pattern == *name) && Matches(pattern + 1, name + 1);
}

std::string FolderOf(const std::string& path) {
  size_t separator = path.rfind('\\');
  return separator == std::string::npos ? "" : path.substr(0, separator);
}

// The path with a folder at its start (ending at a separator or at its end) replaced by
// what folders maps it to; the path itself when none is.
std::string WithFolderReplaced(const std::string& path,
                               const std::map<std::string, std::string>& folders) {
  std::string replaced = path;
  for (const auto& folder : folders) {
    std::string upper = Upper(replaced);
    const std::string& prefix = folder.first;
    if (upper.compare(0, prefix.size(), Upper(prefix)) == 0 &&
        (upper.size() == prefix.size() || upper[prefix.size()] == '\\')) {
      replaced = folder.second + replaced.substr(prefix.size());
    }
  }
  return replaced;
}

// An entry's key: its path in upper case, a doubled separator read as one, as Windows
// reads a path.
std::string Key(const std::string& path) {
  std::string key;
  for (char c : Upper(path)) {
    if (c != '\\' || key.size() < 2 || key.back() != '\\') key += c;
  }
  return key;
}

std::string NameOf(const std::string& path) {
  size_t separator = path.rfind('\\');
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

}  // namespace

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

void FakePlatform::SetWinIni(const std::string& section, const std::string& key,
                             const std::string& value) {
  settings_[Upper("WIN.INI|" + section + "|" + key)] = value;
}

std::optional<std::string> FakePlatform::WinIni(const std::string& section,
                                                const std::string& key) const {
  auto found = settings_.find(Upper("WIN.INI|" + section + "|" + key));
  return found == settings_.end() ? std::nullopt : std::make_optional(found->second);
}

void FakePlatform::SetSetting(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& value) {
  if (File(path) == nullptr) AddFile(path);
  settings_[Key(path) + "|" + Upper(section + "|" + key)] = value;
}

std::vector<Write> FakePlatform::Writes() const {
  std::vector<Write> found;
  for (const std::string& call : Calls("WriteOutputFile ")) {
    size_t count = call.rfind(' ');
    found.push_back({call.substr(16, count - 16), std::stoi(call.substr(count + 1))});
  }
  return found;
}

std::vector<uint32_t> FakePlatform::Sleeps() const {
  std::vector<uint32_t> found;
  for (const std::string& call : Calls("Sleep ")) found.push_back(std::stoul(call.substr(6)));
  return found;
}

std::vector<std::string> FakePlatform::Calls(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& call : calls) {
    if (call.rfind(prefix, 0) == 0) found.push_back(call);
  }
  return found;
}

size_t FakePlatform::FindCall(const std::string& text) const {
  size_t i = 0;
  while (i < calls.size() && calls[i] != text && calls[i].rfind(text + " ", 0) != 0) ++i;
  return i;
}

FakeEntry& FakePlatform::AddFile(const std::string& path, const Bytes& bytes) {
  FakeEntry& entry = entries_[Key(path)] = FakeEntry();
  entry.path = path;
  entry.bytes = bytes;
  return entry;
}

FakeEntry& FakePlatform::AddDirectory(const std::string& path) {
  FakeEntry& entry = AddFile(path);
  entry.directory = true;
  return entry;
}

void FakePlatform::SetResource(const std::string& name, const Bytes& bytes) {
  resources_[Upper(name)] = Bytes(bytes);  // its size exactly: ASan sees a read past its end
}

void FakePlatform::RemoveResource(const std::string& name) { resources_.erase(Upper(name)); }

const Bytes* FakePlatform::Resource(const std::string& name) const {
  auto found = resources_.find(Upper(name));
  return found == resources_.end() ? nullptr : &found->second;
}

const FakeEntry* FakePlatform::File(const std::string& path) const {
  auto found = entries_.find(Key(path));
  return found == entries_.end() ? nullptr : &found->second;
}

std::vector<std::string> FakePlatform::Paths() const {
  std::vector<std::string> paths;
  for (const auto& entry : entries_) paths.push_back(entry.second.path);
  return paths;
}

bool FakePlatform::Rejected(const std::string& path) const {
  return pathLimit != 0 && path.size() > pathLimit;
}

FakeEntry* FakePlatform::Find(const std::string& path) {
  if (Rejected(path)) return nullptr;
  auto found = entries_.find(Key(Resolved(path)));
  return found == entries_.end() ? nullptr : &found->second;
}

std::string FakePlatform::Resolved(const std::string& path) const {
  return WithFolderReplaced(path, folderLinks);
}

FakePlatform::InFolder FakePlatform::NameIn(FileHandle folder, const char* name) {
  OpenFile* open = Handle(folder);
  if (open == nullptr || !open->folder) return {};
  auto join = [&](const std::string& path) {
    return path.back() == '\\' ? path + name : path + "\\" + name;
  };
  return {join(open->opened), join(open->real)};
}

// Another process's hold, met by one more attempt on the entry.
bool FakePlatform::Held(FakeEntry& entry) {
  if (entry.inUse) return true;
  if (entry.heldFor == 0) return false;
  --entry.heldFor;
  return true;
}

int FakePlatform::ShowMessageBox(const char* text, const char* caption, unsigned style) {
  const int fault = Call(Operation::kShowMessageBox, caption);
  boxes.push_back({text, caption, style});
  if (boxes.size() > kMostPrompts) throw std::runtime_error("the installer keeps asking");
  if (fault >= 0) return kAnswerNotShown;
  if (answers.empty()) return kAnswerOk;
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

void FakePlatform::GetProfileStringA(const char* section, const char* key, const char* fallback,
                                     char* area, uint32_t limit) {
  const bool fault = Call(Operation::kGetProfileStringA, std::string(section) + " " + key) >= 0;
  Fill(area, limit, fault ? fallback : WinIni(section, key).value_or(fallback));
}

void FakePlatform::WriteProfileStringA(const char* section, const char* key, const char* value) {
  Call(Operation::kWriteProfileStringA, std::string(section) + " " + key + "=" + value);
  SetWinIni(section, key, value);
}

void FakePlatform::GetPrivateProfileStringA(const char* section, const char* key,
                                            const char* fallback, char* area, uint32_t limit,
                                            const char* path) {
  std::string value = fallback;
  const FakeEntry* file =
      Call(Operation::kGetPrivateProfileStringA, path) >= 0 ? nullptr : Find(path);
  auto found = settings_.find(Key(Resolved(path)) + "|" + Upper(std::string(section) + "|" + key));
  if (file != nullptr && !file->directory && found != settings_.end()) value = found->second;
  Fill(area, limit, value);
  settingsRead.push_back(value);
}

bool FakePlatform::GetOpenFileNameA(OpenFileRecord& record) {
  auto text = [](const char* area) { return std::string(area != nullptr ? area : ""); };
  DialogCall call{record, "", text(record.lpstrFile), text(record.lpstrInitialDir),
                  text(record.lpstrTitle)};
  if (record.lpstrFilter != nullptr) {
    const char* end = record.lpstrFilter;
    while (end[0] != '\0' || end[1] != '\0') ++end;
    call.filter.assign(record.lpstrFilter, end + 2);
  }
  dialogs.push_back(call);
  const int fault = Call(Operation::kGetOpenFileNameA, call.initialDir);
  if (dialogs.size() > kMostPrompts) throw std::runtime_error("the installer keeps asking");
  if (fault >= 0) return false;

  if (choices.empty()) return false;
  std::optional<std::string> choice = choices.front();
  choices.pop_front();
  // The real dialog fails when the chosen path does not fit the file-name area.
  if (!choice || choice->size() >= record.nMaxFile) return false;
  Fill(record.lpstrFile, record.nMaxFile, *choice);
  return true;
}

bool FakePlatform::IsLeadByte(unsigned char byte) {
  Call(Operation::kIsLeadByte, std::to_string(byte));
  if (codePage == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  return false;
}

bool FakePlatform::FindPayloadResource(const char* name, PayloadResource& resource) {
  const Bytes* found = Resource(name);
  if (Call(Operation::kFindPayloadResource, name) >= 0 || found == nullptr) return false;
  resource = {static_cast<int32_t>(found->size()), found->data()};
  return true;
}

int FakePlatform::Call(Operation operation, const std::string& detail) {
  const FaultWays& ways = kFaultWays[static_cast<size_t>(operation)];
  calls.push_back(detail.empty() ? ways.name : std::string(ways.name) + " " + detail);
  size_t number = calls.size();
  if (faultAt == 0 || number < faultAt || (number > faultAt && !faultOnward)) return -1;
  return ways.ways == 0 ? -1 : faultVariant % ways.ways;
}

void FakePlatform::Record(DiskEvent::Kind kind, const std::string& key, const std::string& target,
                          const Bytes& bytes, uint32_t value) {
  journal.push_back({kind, calls.size(), key, target, bytes, value});
}

FakePlatform::OpenFile* FakePlatform::Handle(FileHandle file) {
  auto found = handles_.find(reinterpret_cast<intptr_t>(file));
  return found == handles_.end() ? nullptr : &found->second;
}

std::string FakePlatform::PathOf(FileHandle file) {
  OpenFile* open = Handle(file);
  if (open == nullptr) return "(no file)";
  return open->folder ? open->opened : entries_[open->key].path;
}

FileHandle FakePlatform::Open(const std::string& key, bool writable, ExistingAccess access,
                              const std::string& opened) {
  ++openFiles;
  handles_[nextHandle_] = {key, writable, access, 0, false, opened, ""};
  return reinterpret_cast<FileHandle>(nextHandle_++);
}

uint32_t FakePlatform::AttributesOf(const FakeEntry& entry) const {
  uint32_t attributes = entry.attributes;
  if (entry.directory) attributes |= kAttributeDirectory;
  if (!entry.linkTo.empty()) attributes |= kAttributeReparsePoint;
  return attributes == 0 ? kAttributeNormal : attributes;
}

FileHandle FakePlatform::CreateOutputFile(FileHandle folder, const char* name, FileError& error) {
  InFolder path = NameIn(folder, name);
  const int fault = Call(Operation::kCreateOutputFile, path.shown);
  error = fault >= 0                            ? FileError::kOther
          : path.real.empty()                   ? FileError::kNotFound
          : entries_.count(Key(path.real)) != 0 ? FileError::kExists
                                                : FileError::kNone;
  if (error != FileError::kNone) return kNoFile;
  AddFile(path.real);
  Record(DiskEvent::kCreate, Key(path.real));
  return Open(Key(path.real), true, ExistingAccess::kRemove, path.shown);
}

int32_t FakePlatform::WriteOutputFile(FileHandle file, const unsigned char* bytes, int32_t count) {
  std::string path = PathOf(file);
  const int fault = Call(Operation::kWriteOutputFile, path + " " + std::to_string(count));
  OpenFile* open = Handle(file);
  if (open == nullptr || !open->writable || fault == 0) return -1;
  int32_t fits = fault == 1 ? count / 2 : count;
  if (freeSpace >= 0 && freeSpace < fits) fits = static_cast<int32_t>(freeSpace);
  if (freeSpace >= 0) freeSpace -= fits;
  FakeEntry& entry = entries_[open->key];
  entry.bytes.insert(entry.bytes.end(), bytes, bytes + fits);
  entry.flushed = false;
  Record(DiskEvent::kWrite, open->key, "", journalBytes ? Bytes(bytes, bytes + fits) : Bytes());
  return fits;
}

FileError FakePlatform::FlushOutputFile(FileHandle file) {
  const int fault = Call(Operation::kFlushOutputFile, PathOf(file));
  OpenFile* open = Handle(file);
  if (fault >= 0) return fault == 0 ? FileError::kOther : FileError::kUnsupported;
  if (open == nullptr || !open->writable) return FileError::kOther;
  if (flushAnswer != FileError::kNone) return flushAnswer;
  entries_[open->key].flushed = true;
  Record(DiskEvent::kFlush, open->key);
  return FileError::kNone;
}

bool FakePlatform::StampWriteTime(FileHandle file, uint32_t stamp) {
  const int fault = Call(Operation::kStampWriteTime, std::to_string(stamp));
  OpenFile* open = Handle(file);
  if (open == nullptr || (!open->writable && open->access != ExistingAccess::kReadAndStamp) ||
      fault >= 0) {
    return false;
  }
  entries_[open->key].stamp = stamp;
  Record(DiskEvent::kStamp, open->key, "", {}, stamp);
  return true;
}

bool FakePlatform::SetFileAttributesByHandle(FileHandle file, uint32_t attributes) {
  const int fault =
      Call(Operation::kSetFileAttributesByHandle, PathOf(file) + " " + std::to_string(attributes));
  OpenFile* open = Handle(file);
  if (open == nullptr || !open->writable || fault >= 0) return false;
  entries_[open->key].attributes = attributes == kAttributeNormal ? 0 : attributes;
  Record(DiskEvent::kAttributes, open->key, "", {}, entries_[open->key].attributes);
  return true;
}

FileError FakePlatform::MoveOpenFile(FileHandle file, FileHandle folder, const char* name,
                                     MoveSemantics semantics) {
  InFolder path = NameIn(folder, name);
  const int fault = Call(Operation::kMoveOpenFile,
                         PathOf(file) + " " + path.shown +
                             (semantics == MoveSemantics::kPosix ? " posix" : " classic"));
  if (fault >= 0) return fault == 0 ? FileError::kOther : FileError::kSharing;
  OpenFile* open = Handle(file);
  if (open == nullptr || !open->writable) return FileError::kOther;
  if (semantics == MoveSemantics::kPosix && !posixMoves) return posixRefusal;
  if (path.real.empty()) return FileError::kNotFound;
  const std::string target = path.real;
  auto found = entries_.find(Key(target));
  FakeEntry* existing = found == entries_.end() ? nullptr : &found->second;
  if (existing != nullptr && Key(target) != open->key) {
    // What no wait changes, and another program's hold, alike refuse the move.
    bool heldAgainstMoves = existing->movesHeld > 0;
    if (heldAgainstMoves) --existing->movesHeld;
    if (heldAgainstMoves || Held(*existing) || existing->directory ||
        (existing->attributes & kAttributeReadOnly)) {
      return FileError::kAccessDenied;
    }
    for (const auto& other : handles_) {
      if (other.second.key == Key(target)) return FileError::kAccessDenied;
    }
  }
  FakeEntry moved = entries_[open->key];
  moved.path = target;
  entries_.erase(open->key);
  entries_[Key(target)] = moved;  // a link there is replaced as a name
  Record(DiskEvent::kMove, open->key, Key(target));
  open->key = Key(target);
  return FileError::kNone;
}

bool FakePlatform::DeleteAndCloseFile(FileHandle file) {
  const int fault = Call(Operation::kDeleteAndCloseFile, PathOf(file));
  OpenFile* open = Handle(file);
  if (open == nullptr) return false;
  const bool removable = open->writable || open->access == ExistingAccess::kRemove;
  failedRemovals += removable && fault >= 0;
  const bool deletable = removable && fault < 0;
  std::string key = open->key;
  handles_.erase(reinterpret_cast<intptr_t>(file));
  --openFiles;
  if (deletable) {
    entries_.erase(key);
    Record(DiskEvent::kDelete, key);
  }
  return deletable;
}

uint32_t FakePlatform::GetLongPathNameA(const char* path, char* area, uint32_t limit) {
  if (Call(Operation::kGetLongPathNameA, path) >= 0 || Rejected(path)) return 0;
  return Answer(area, limit, WithFolderReplaced(path, shortNames));
}

void FakePlatform::CloseOutputFile(FileHandle file) {
  Call(Operation::kCloseOutputFile, PathOf(file));
  OpenFile* open = Handle(file);
  if (open == nullptr) return;
  if (open->writable) entries_[open->key].heldFor = heldAfterClose;
  handles_.erase(reinterpret_cast<intptr_t>(file));
  --openFiles;
}

FileHandle FakePlatform::OpenExistingFile(FileHandle folder, const char* name,
                                          ExistingAccess access, FileError& error) {
  InFolder path = NameIn(folder, name);
  const int fault = Call(Operation::kOpenExistingFile, path.shown);
  auto found = path.real.empty() ? entries_.end() : entries_.find(Key(path.real));
  FakeEntry* entry = found == entries_.end() ? nullptr : &found->second;
  // Like CreateFile without backup semantics: no directory, nothing held without sharing.
  error = fault >= 0         ? (fault == 0 ? FileError::kNotFound : FileError::kSharing)
          : entry == nullptr ? FileError::kNotFound
          : entry->directory ? FileError::kAccessDenied
          : Held(*entry)     ? FileError::kSharing
                             : FileError::kNone;
  if (error != FileError::kNone) return kNoFile;
  std::string key = Key(path.real);
  if (!entry->linkTo.empty() && linksFollowed) {
    if (Find(entry->linkTo) == nullptr) {
      error = FileError::kNotFound;
      return kNoFile;
    }
    key = Key(entry->linkTo);
  }
  return Open(key, false, access, path.shown);
}

bool FakePlatform::QueryOpenFile(FileHandle file, FileFacts& facts) {
  const int fault = Call(Operation::kQueryOpenFile, PathOf(file));
  OpenFile* open = Handle(file);
  if (open == nullptr || open->folder || fault >= 0) return false;
  const FakeEntry& entry = entries_[open->key];
  facts = {AttributesOf(entry), entry.links, static_cast<int64_t>(entry.bytes.size()),
           !entry.linkTo.empty() ? 0xA000000C : entry.reparseTag};  // a symbolic link's tag
  return true;
}

FileHandle FakePlatform::OpenHostFolder(const char* path, FileError& error) {
  const int fault = Call(Operation::kOpenHostFolder, path);
  // Held with backup semantics: a root keeps its "\", any other folder is named without.
  std::string folder = path;
  if (folder.size() > 1 && folder.back() == '\\' && folder[folder.size() - 2] != ':') {
    folder.pop_back();
  }
  FakeEntry* entry = Find(folder);
  error = fault >= 0                              ? FileError::kOther
          : Rejected(path)                        ? FileError::kNotFound
          : entry != nullptr && !entry->directory ? FileError::kOther
          : entry != nullptr && Held(*entry)      ? FileError::kSharing
                                                  : FileError::kNone;
  if (error != FileError::kNone) return kNoFile;
  // Where a link at its path points now: the hold pins that folder.
  std::string real = Resolved(folder);
  FileHandle handle = Open(Key(real), false, ExistingAccess::kReadAndStamp, folder);
  Handle(handle)->folder = true;
  Handle(handle)->real = real;
  return handle;
}

uint32_t FakePlatform::GetFinalPathName(FileHandle file, PathNaming naming, char16_t* area,
                                        uint32_t limit) {
  const int fault = Call(Operation::kGetFinalPathName, PathOf(file));
  OpenFile* open = Handle(file);
  if (open == nullptr || fault >= 0 ||
      std::find(unnamed.begin(), unnamed.end(), naming) != unnamed.end()) {
    return 0;
  }
  // Where the entry really is (a followed link's target), in the case the disk spells
  // it, below the name the system gives its folder.
  std::string path;
  for (char c : open->folder ? open->real : entries_[open->key].path) {
    if (c != '\\' || path.empty() || path.back() != '\\') path += c;  // as Windows reads "\\"
  }
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  auto redirect = redirected.find(Upper(path));
  std::string mapped = WithFolderReplaced(path, finalFolders);
  std::string name = redirect != redirected.end() ? redirect->second
                     : mapped != path             ? mapped
                                                  : "\\\\?\\" + path;
  // The GUID name of the volume, or its serial number, in place of a drive.
  if (naming >= PathNaming::kVolumeGuid && name.size() > 6 && name[5] == ':') {
    name =
        (naming == PathNaming::kVolumeGuid ? "\\\\?\\Volume{5eed}" : "5EED0000:") + name.substr(6);
  }
  if (name.size() >= limit) return 0;
  for (size_t i = 0; i < name.size(); ++i) area[i] = static_cast<unsigned char>(name[i]);
  area[name.size()] = 0;
  return static_cast<uint32_t>(name.size());
}

uint32_t FakePlatform::WidenName(const char* text, char16_t* area, uint32_t limit) {
  size_t length = std::strlen(text);
  if (Call(Operation::kWidenName, text) >= 0 || length >= limit) return 0;
  // Windows-1252, as far as Latin-1 reaches.
  for (size_t i = 0; i <= length; ++i) area[i] = static_cast<unsigned char>(text[i]);
  return static_cast<uint32_t>(length);
}

uint32_t FakePlatform::GetSessionUserProfile(char* area, uint32_t limit) {
  if (Call(Operation::kGetSessionUserProfile, "") >= 0 || sessionProfile.empty()) return 0;
  return Answer(area, limit, sessionProfile);
}

int32_t FakePlatform::ReadExistingFile(FileHandle file, unsigned char* bytes, int32_t count) {
  const int fault = Call(Operation::kReadExistingFile, PathOf(file));
  OpenFile* open = Handle(file);
  if (open == nullptr || open->writable || open->access != ExistingAccess::kReadAndStamp ||
      fault == 0) {
    return -1;
  }
  const FakeEntry& entry = entries_[open->key];
  const Bytes& content = entry.linkTo.empty() ? entry.bytes : Bytes();
  size_t available = content.size() - std::min(content.size(), open->position);
  size_t asked = static_cast<size_t>(fault == 1 ? count / 2 : count);
  size_t taken = std::min<size_t>(available, asked);
  std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(open->position), taken, bytes);
  open->position += taken;
  return static_cast<int32_t>(taken);
}

uint32_t FakePlatform::GetFileAttributesInFolder(FileHandle folder, const char* name) {
  InFolder path = NameIn(folder, name);
  if (Call(Operation::kGetFileAttributesInFolder, path.shown) >= 0 || path.real.empty()) {
    return kNoAttributes;
  }
  auto found = entries_.find(Key(path.real));
  return found == entries_.end() ? kNoAttributes : AttributesOf(found->second);
}

uint32_t FakePlatform::GetEnvironmentVariableA(const char* name, char* area, uint32_t limit) {
  auto found = environment.find(Upper(name));
  if (Call(Operation::kGetEnvironmentVariableA, name) >= 0 || found == environment.end()) return 0;
  return Answer(area, limit, found->second);
}

void FakePlatform::Sleep(uint32_t milliseconds) {
  Call(Operation::kSleep, std::to_string(milliseconds));
  if (duringWait) duringWait(*this);
}

bool FakePlatform::ProbeFile(const char* path) {
  if (Call(Operation::kProbeFile, path) >= 0) return false;
  const FakeEntry* entry = Find(path);
  return entry != nullptr && !entry->directory;
}

bool FakePlatform::ProbePattern(const char* pattern) {
  if (Call(Operation::kProbePattern, pattern) >= 0 || Rejected(pattern)) return false;
  std::string folder = FolderOf(Key(pattern));
  std::string name = Upper(NameOf(pattern));
  return std::any_of(entries_.begin(), entries_.end(), [&](const auto& entry) {
    return FolderOf(entry.first) == folder && Matches(name.c_str(), NameOf(entry.first).c_str());
  });
}

void FakePlatform::EndProcess() {
  Call(Operation::kEndProcess, "");
  ended = true;
  ExpectNothingOpen();
  throw RunEnded();
}

void FakePlatform::ExpectNothingOpen() const {
  if (openFiles != 0) throw std::logic_error("a handle left open at the end of the run");
}
