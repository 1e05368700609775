#include "support/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "run/run_installer.h"

namespace {

// A test whose logic loops would otherwise never end.
constexpr size_t kMostPrompts = 200;

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

void Fill(char* area, uint32_t limit, const std::string& value) {
  if (limit == 0) return;
  size_t length = std::min<size_t>(value.size(), limit - 1);
  std::memcpy(area, value.data(), length);
  area[length] = '\0';
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

void RunToEnd(FakePlatform& platform) {
  try {
    RunInstaller(platform);
  } catch (const RunEnded&) {
  }
}

void FakePlatform::SetWinIni(const std::string& section, const std::string& key,
                             const std::string& value) {
  winIni_[Upper(section + "\\" + key)] = value;
}

std::optional<std::string> FakePlatform::WinIni(const std::string& section,
                                                const std::string& key) const {
  auto found = winIni_.find(Upper(section + "\\" + key));
  if (found == winIni_.end()) return std::nullopt;
  return found->second;
}

FakeEntry& FakePlatform::AddFile(const std::string& path, const Bytes& bytes) {
  FakeEntry& entry = entries_[Upper(path)];
  entry = FakeEntry();
  entry.path = path;
  entry.bytes = bytes;
  return entry;
}

FakeEntry& FakePlatform::AddTextFile(const std::string& path, const std::string& text) {
  return AddFile(path, Bytes(text.begin(), text.end()));
}

FakeEntry& FakePlatform::AddDirectory(const std::string& path) {
  FakeEntry& entry = AddFile(path);
  entry.directory = true;
  return entry;
}

void FakePlatform::SetResource(const std::string& name, const Bytes& bytes) {
  // An allocation of exactly the resource's size, so that the sanitizer catches any
  // read past its end.
  resources_.erase(Upper(name));
  resources_.emplace(Upper(name), Bytes(bytes.begin(), bytes.end()));
}

void FakePlatform::RemoveResource(const std::string& name) { resources_.erase(Upper(name)); }

const Bytes* FakePlatform::Resource(const std::string& name) const {
  auto found = resources_.find(Upper(name));
  return found == resources_.end() ? nullptr : &found->second;
}

const FakeEntry* FakePlatform::File(const std::string& path) const {
  auto found = entries_.find(Upper(path));
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
  auto found = entries_.find(Upper(path));
  return found == entries_.end() ? nullptr : &found->second;
}

// Another process's hold, met by one more attempt on the entry.
bool FakePlatform::Held(FakeEntry& entry) {
  if (entry.inUse) return true;
  if (entry.heldFor == 0) return false;
  --entry.heldFor;
  return true;
}

// What no wait will change: a directory, a read-only file, a file this run has open.
bool FakePlatform::Busy(const FakeEntry& entry) const {
  if (entry.directory || entry.readOnly) return true;
  std::string key = Upper(entry.path);
  return std::any_of(handles_.begin(), handles_.end(),
                     [&](const auto& handle) { return handle.second == key; });
}

int FakePlatform::ShowMessageBox(const char* text, const char* caption, unsigned style) {
  calls.push_back(std::string("ShowMessageBox ") + caption);
  boxes.push_back({text, caption, style});
  if (boxes.size() > kMostPrompts) throw std::runtime_error("the installer keeps asking");
  if (answers.empty()) return kAnswerOk;
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

void FakePlatform::GetProfileStringA(const char* section, const char* key, const char* fallback,
                                     char* area, uint32_t limit) {
  calls.push_back(std::string("GetProfileStringA ") + section + " " + key);
  Fill(area, limit, WinIni(section, key).value_or(fallback));
}

void FakePlatform::WriteProfileStringA(const char* section, const char* key, const char* value) {
  calls.push_back(std::string("WriteProfileStringA ") + section + " " + key + "=" + value);
  ++winIniWrites;
  SetWinIni(section, key, value);
}

void FakePlatform::GetPrivateProfileStringA(const char* section, const char* key,
                                            const char* fallback, char* area, uint32_t limit,
                                            const char* path) {
  calls.push_back(std::string("GetPrivateProfileStringA ") + path);
  std::string value = fallback;
  const FakeEntry* file = Find(path);
  if (file != nullptr && !file->directory) {
    std::string text(file->bytes.begin(), file->bytes.end());
    std::string current;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = Trim(text.substr(start, end - start));
      start = end + 1;
      if (!line.empty() && line.front() == '[' && line.back() == ']') {
        current = Upper(Trim(line.substr(1, line.size() - 2)));
        continue;
      }
      size_t equals = line.find('=');
      if (current == Upper(section) && equals != std::string::npos &&
          Upper(Trim(line.substr(0, equals))) == Upper(key)) {
        value = Trim(line.substr(equals + 1));
        break;
      }
    }
  }
  Fill(area, limit, value);
}

bool FakePlatform::GetOpenFileNameA(OpenFileRecord& record) {
  DialogCall call;
  call.record = record;
  if (record.lpstrFilter != nullptr) {
    const char* end = record.lpstrFilter;
    while (end[0] != '\0' || end[1] != '\0') ++end;
    call.filter.assign(record.lpstrFilter, end + 2);
  }
  if (record.lpstrFile != nullptr) call.fileName = record.lpstrFile;
  if (record.lpstrInitialDir != nullptr) call.initialDir = record.lpstrInitialDir;
  if (record.lpstrTitle != nullptr) call.title = record.lpstrTitle;
  dialogs.push_back(call);
  calls.push_back("GetOpenFileNameA " + call.initialDir);
  if (dialogs.size() > kMostPrompts) throw std::runtime_error("the installer keeps asking");

  if (choices.empty()) return false;
  std::optional<std::string> choice = choices.front();
  choices.pop_front();
  // The real dialog fails when the chosen path does not fit the file-name area.
  if (!choice || choice->size() >= record.nMaxFile) return false;
  Fill(record.lpstrFile, record.nMaxFile, *choice);
  return true;
}

bool FakePlatform::IsLeadByte(unsigned char byte) {
  if (codePage == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  return false;
}

bool FakePlatform::FindPayloadResource(const char* name, PayloadResource& resource) {
  calls.push_back(std::string("FindPayloadResource ") + name);
  auto found = resources_.find(Upper(name));
  if (found == resources_.end()) return false;
  resource.info = &found->second;
  resource.data = &found->second;
  resource.size = static_cast<int32_t>(found->second.size());
  resource.bytes = found->second.data();
  return true;
}

FileHandle FakePlatform::CreateNewOutputFile(const char* path) {
  calls.push_back(std::string("CreateNewOutputFile ") + path);
  if (Rejected(path) || Find(path) != nullptr) return kNoFile;
  return Open(path);
}

FileHandle FakePlatform::Open(const std::string& path) {
  AddFile(path);
  ++openFiles;
  handles_[nextHandle_] = Upper(path);
  return reinterpret_cast<FileHandle>(nextHandle_++);
}

int32_t FakePlatform::WriteOutputFile(FileHandle file, const unsigned char* bytes, int32_t count) {
  auto handle = handles_.find(reinterpret_cast<intptr_t>(file));
  std::string path = handle == handles_.end() ? "(no file)" : entries_[handle->second].path;
  calls.push_back("WriteOutputFile " + path + " " + std::to_string(count));
  writes.push_back({path, count});
  if (handle == handles_.end() || readers_.count(handle->first) != 0) return -1;
  int32_t fits = count;
  if (freeSpace >= 0 && freeSpace < count) fits = static_cast<int32_t>(freeSpace);
  if (freeSpace >= 0) freeSpace -= fits;
  Bytes& content = entries_[handle->second].bytes;
  content.insert(content.end(), bytes, bytes + fits);
  entries_[handle->second].flushed = false;
  return fits;
}

bool FakePlatform::FlushOutputFile(FileHandle file) {
  auto handle = handles_.find(reinterpret_cast<intptr_t>(file));
  calls.push_back("FlushOutputFile " +
                  (handle == handles_.end() ? "(no file)" : entries_[handle->second].path));
  if (handle == handles_.end() || flushFails) return false;
  entries_[handle->second].flushed = true;
  return true;
}

ExistingFile FakePlatform::OpenExistingFile(const char* path) {
  calls.push_back(std::string("OpenExistingFile ") + path);
  ExistingFile existing = {kNoFile, 0, false, false, false};
  FakeEntry* entry = Find(path);
  if (entry == nullptr) return existing;
  existing.readOnly = entry->readOnly;
  // Like CreateFile without backup semantics: no directory, nothing held without sharing.
  if (entry->directory) return existing;
  existing.held = Held(*entry);
  if (existing.held) return existing;
  const FakeEntry* content = entry->linkTo.empty() ? entry : Find(entry->linkTo);
  if (content == nullptr) return existing;
  existing.size = static_cast<int64_t>(content->bytes.size());
  existing.plain = entry->linkTo.empty();
  ++openFiles;
  intptr_t handle = nextHandle_++;
  handles_[handle] = Upper(entry->linkTo.empty() ? std::string(path) : entry->linkTo);
  readers_[handle] = 0;
  existing.file = reinterpret_cast<FileHandle>(handle);
  return existing;
}

int32_t FakePlatform::ReadExistingFile(FileHandle file, unsigned char* bytes, int32_t count) {
  auto reader = readers_.find(reinterpret_cast<intptr_t>(file));
  if (reader == readers_.end()) return -1;
  const Bytes& content = entries_[handles_[reader->first]].bytes;
  size_t available = content.size() - std::min(content.size(), reader->second);
  size_t taken = std::min<size_t>(available, static_cast<size_t>(count));
  std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(reader->second), taken, bytes);
  reader->second += taken;
  calls.push_back("ReadExistingFile " + entries_[handles_[reader->first]].path + " " +
                  std::to_string(taken));
  return static_cast<int32_t>(taken);
}

uint32_t FakePlatform::GetEnvironmentVariableA(const char* name, char* area, uint32_t limit) {
  auto found = environment.find(Upper(name));
  if (found == environment.end()) return 0;
  uint32_t length = static_cast<uint32_t>(found->second.size());
  if (length >= limit) return length + 1;
  Fill(area, limit, found->second);
  return length;
}

void FakePlatform::CloseOutputFile(FileHandle file) {
  auto handle = handles_.find(reinterpret_cast<intptr_t>(file));
  calls.push_back("CloseOutputFile " +
                  (handle == handles_.end() ? "(no file)" : entries_[handle->second].path));
  if (handle == handles_.end()) return;
  if (readers_.erase(handle->first) == 0) entries_[handle->second].heldFor = heldAfterClose;
  handles_.erase(handle);
  --openFiles;
}

void FakePlatform::DiscardOutputFile(FileHandle file) {
  auto handle = handles_.find(reinterpret_cast<intptr_t>(file));
  calls.push_back("DiscardOutputFile " +
                  (handle == handles_.end() ? "(no file)" : entries_[handle->second].path));
  if (handle == handles_.end()) return;
  std::string key = handle->second;
  handles_.erase(handle);
  --openFiles;
  entries_.erase(key);
}

void FakePlatform::StampWriteTime(FileHandle file, uint32_t stamp) {
  calls.push_back("StampWriteTime " + std::to_string(stamp));
  auto handle = handles_.find(reinterpret_cast<intptr_t>(file));
  if (handle != handles_.end()) entries_[handle->second].stamp = stamp;
}

FileOutcome FakePlatform::ReplaceOutputFile(const char* path, const char* target) {
  calls.push_back(std::string("ReplaceOutputFile ") + path + " " + target);
  FakeEntry* source = Find(path);
  if (source == nullptr || Rejected(target)) return FileOutcome::kFailed;
  FakeEntry* existing = Find(target);
  if (Held(*source) || (existing != nullptr && Held(*existing))) return FileOutcome::kHeld;
  if (Busy(*source) || (existing != nullptr && Busy(*existing))) return FileOutcome::kFailed;
  FakeEntry moved = *source;
  moved.path = target;
  entries_.erase(Upper(path));
  entries_[Upper(target)] = moved;
  return FileOutcome::kDone;
}

FileOutcome FakePlatform::DeleteOutputFile(const char* path) {
  calls.push_back(std::string("DeleteOutputFile ") + path);
  FakeEntry* entry = Find(path);
  if (entry == nullptr) return FileOutcome::kFailed;
  if (Held(*entry)) return FileOutcome::kHeld;
  if (Busy(*entry)) return FileOutcome::kFailed;
  entries_.erase(Upper(path));
  return FileOutcome::kDone;
}

void FakePlatform::Sleep(uint32_t milliseconds) {
  calls.push_back("Sleep " + std::to_string(milliseconds));
  sleeps.push_back(milliseconds);
}

bool FakePlatform::ProbeFile(const char* path) {
  calls.push_back(std::string("ProbeFile ") + path);
  const FakeEntry* entry = Find(path);
  return entry != nullptr && !entry->directory;
}

bool FakePlatform::ProbePattern(const char* pattern) {
  calls.push_back(std::string("ProbePattern ") + pattern);
  if (Rejected(pattern)) return false;
  std::string folder = Upper(FolderOf(pattern));
  std::string name = Upper(NameOf(pattern));
  return std::any_of(entries_.begin(), entries_.end(), [&](const auto& entry) {
    return FolderOf(entry.first) == folder && Matches(name.c_str(), NameOf(entry.first).c_str());
  });
}

void FakePlatform::EndProcess() {
  calls.push_back("EndRun");
  ended = true;
  throw RunEnded();
}
