// A scripted stand-in for Windows: it answers the boxes and the dialog as a test
// says, holds WIN.INI, the files of the disk and the executable's resources in
// memory, records every call, and turns the end of the run into an exception.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/fault_ways.h"

using Bytes = std::vector<unsigned char>;

// Thrown where the process would end.
struct RunEnded {};

struct ShownBox {
  std::string text;
  std::string caption;
  unsigned style;
};

// One call of the open-file dialog, as the installer prepared it.
struct DialogCall {
  OpenFileRecord record;
  std::string filter;      // the filter bytes up to and including the closing zero
  std::string fileName;    // the file-name area when the dialog opened
  std::string initialDir;  // the initial folder's text when the dialog opened
  std::string title;
};

struct FakeEntry {
  std::string path;  // as first written
  Bytes bytes;
  uint32_t attributes = 0;  // read-only, hidden, system, archive
  bool directory = false;
  bool inUse = false;       // held open without sharing by another process, for good
  int heldFor = 0;          // held for a moment: this many attempts on it meet the hold
  int movesHeld = 0;        // held so that others may read but not replace it: moves refused
  std::string linkTo;       // a symbolic link to this path (its bytes live there); empty for none
  uint32_t reparseTag = 0;  // a reparse point that is no link (a deduplicated file, say)
  uint32_t links = 1;       // its names (hard links)
  std::optional<uint32_t> stamp;
  bool flushed = false;  // written through to the disk since its last write
};

struct Write {
  std::string path;
  int32_t count;
};

// One change to the disk, as the sweeps replay it to tell what a power cut could leave:
// the file's upper-case path (and the target's, for a move), and the call it came from.
struct DiskEvent {
  enum Kind { kCreate, kWrite, kStamp, kAttributes, kFlush, kMove, kDelete } kind;
  size_t call;  // its number in calls, from 1
  std::string path;
  std::string target;
  Bytes bytes;         // written
  uint32_t value = 0;  // the stamp or the attributes set
};

class FakePlatform final : public Platform {
 public:
  FakePlatform() = default;

  // --- what the test sets up
  std::deque<int> answers;                         // box answers in order; OK once used up
  std::deque<std::optional<std::string>> choices;  // dialog: a chosen path, or cancel
  unsigned codePage = 1252;                        // 932 has double-byte characters
  size_t pathLimit = 0;                            // longer paths are rejected; 0 for no limit
  int64_t freeSpace = -1;                    // bytes that still fit on the disk; -1 for no limit
  FileError flushAnswer = FileError::kNone;  // what FlushOutputFile reports
  int heldAfterClose = 0;  // a file this run closes is then held for that many attempts
  bool posixMoves = true;  // moves with POSIX semantics offered (Windows 10 1607 and later)
  FileError posixRefusal = FileError::kUnsupported;  // the answer where they are not
  bool linksFollowed = false;  // an open of a link opens its target (Wine), not the link
  std::map<std::string, std::string> environment;  // environment variables
  std::map<std::string, std::string> shortNames;   // an 8.3 path and the long path it names
  // How the system names what is open: folders named otherwise (a share), with all below;
  // files named elsewhere (an object-manager link); the namings it cannot give.
  std::map<std::string, std::string> finalFolders;
  std::map<std::string, std::string> redirected;
  std::vector<PathNaming> unnamed;
  std::string sessionProfile;  // the profile of the user signed in; empty when unknown
  // Folders that are links (junctions): an open through one goes where it points then.
  std::map<std::string, std::string> folderLinks;
  // Runs at every wait, as another program acting while the installer waits would.
  std::function<void(FakePlatform&)> duringWait;
  // A fault, for the sweeps: call number faultAt (from 1; 0 for none) fails, or every call
  // from it on, in its way number faultVariant (fault_ways.h).
  size_t faultAt = 0;
  bool faultOnward = false;
  int faultVariant = 0;

  // Settings as the profile functions read them, in any case: WIN.INI's, and a settings
  // file's (an entry of the disk too, whose bytes are not read).
  void SetWinIni(const std::string& section, const std::string& key, const std::string& value);
  std::optional<std::string> WinIni(const std::string& section, const std::string& key) const;
  void SetSetting(const std::string& path, const std::string& section, const std::string& key,
                  const std::string& value);
  FakeEntry& AddFile(const std::string& path, const Bytes& bytes = {});
  FakeEntry& AddDirectory(const std::string& path);
  void SetResource(const std::string& name, const Bytes& bytes);
  void RemoveResource(const std::string& name);
  const Bytes* Resource(const std::string& name) const;  // nullptr when absent

  // --- what the test reads afterwards
  const FakeEntry* File(const std::string& path) const;
  std::vector<std::string> Paths() const;  // every entry, as first written
  std::vector<ShownBox> boxes;
  std::vector<DialogCall> dialogs;
  std::vector<std::string> calls;        // every operation and its main argument, in order
  std::vector<Write> Writes() const;     // every write, from the calls
  std::vector<uint32_t> Sleeps() const;  // every wait, in milliseconds, from the calls
  std::vector<std::string> Calls(const std::string& prefix) const;  // those starting so
  // The index of the first call that is text, or text and its detail; calls.size() for none.
  size_t FindCall(const std::string& text) const;
  std::vector<std::string> settingsRead;  // what each read of a settings file gave
  int openFiles = 0;
  bool ended = false;
  std::vector<DiskEvent> journal;  // every change to the disk, in order
  bool journalBytes = false;       // the journal keeps what each write wrote too
  int failedRemovals = 0;          // removals a fault made fail

  // --- the platform operations
  int ShowMessageBox(const char* text, const char* caption, unsigned style) override;
  void GetProfileStringA(const char* section, const char* key, const char* fallback, char* area,
                         uint32_t limit) override;
  void WriteProfileStringA(const char* section, const char* key, const char* value) override;
  void GetPrivateProfileStringA(const char* section, const char* key, const char* fallback,
                                char* area, uint32_t limit, const char* path) override;
  bool GetOpenFileNameA(OpenFileRecord& record) override;
  bool IsLeadByte(unsigned char byte) override;
  bool FindPayloadResource(const char* name, PayloadResource& resource) override;
  FileHandle CreateOutputFile(FileHandle folder, const char* name, FileError& error) override;
  int32_t WriteOutputFile(FileHandle file, const unsigned char* bytes, int32_t count) override;
  FileError FlushOutputFile(FileHandle file) override;
  bool StampWriteTime(FileHandle file, uint32_t stamp) override;
  bool SetFileAttributesByHandle(FileHandle file, uint32_t attributes) override;
  FileError MoveOpenFile(FileHandle file, FileHandle folder, const char* name,
                         MoveSemantics semantics) override;
  bool DeleteAndCloseFile(FileHandle file) override;
  void CloseOutputFile(FileHandle file) override;
  FileHandle OpenExistingFile(FileHandle folder, const char* name, ExistingAccess access,
                              FileError& error) override;
  bool QueryOpenFile(FileHandle file, FileFacts& facts) override;
  FileHandle OpenHostFolder(const char* path, FileError& error) override;
  uint32_t GetFinalPathName(FileHandle file, PathNaming naming, char16_t* area,
                            uint32_t limit) override;
  uint32_t WidenName(const char* text, char16_t* area, uint32_t limit) override;
  uint32_t GetSessionUserProfile(char* area, uint32_t limit) override;
  int32_t ReadExistingFile(FileHandle file, unsigned char* bytes, int32_t count) override;
  uint32_t GetFileAttributesInFolder(FileHandle folder, const char* name) override;
  uint32_t GetEnvironmentVariableA(const char* name, char* area, uint32_t limit) override;
  uint32_t GetLongPathNameA(const char* path, char* area, uint32_t limit) override;
  void Sleep(uint32_t milliseconds) override;
  bool ProbeFile(const char* path) override;
  bool ProbePattern(const char* pattern) override;
  void EndProcess() override;
  // Every run ends with no handle open; a run that does not ends the test.
  void ExpectNothingOpen() const;

 private:
  struct OpenFile {
    std::string key;
    bool writable;          // created by this run; else opened as it was
    ExistingAccess access;  // for one opened as it was
    size_t position;
    bool folder = false;  // the held host folder
    std::string opened;   // the path it was opened by
    std::string real;     // for a folder, where it was when opened (a link followed)
  };
  // A name in a held folder: as the folder was opened, and where it really is; empty
  // when the handle is no held folder.
  struct InFolder {
    std::string shown;
    std::string real;
  };

  // Records the call; the way it fails (fault_ways.h), -1 when it does not.
  int Call(Operation operation, const std::string& detail);
  void Record(DiskEvent::Kind kind, const std::string& key, const std::string& target = "",
              const Bytes& bytes = {}, uint32_t value = 0);
  bool Rejected(const std::string& path) const;
  FakeEntry* Find(const std::string& path);
  std::string Resolved(const std::string& path) const;
  InFolder NameIn(FileHandle folder, const char* name);
  bool Held(FakeEntry& entry);
  uint32_t AttributesOf(const FakeEntry& entry) const;
  OpenFile* Handle(FileHandle file);
  std::string PathOf(FileHandle file);
  FileHandle Open(const std::string& key, bool writable, ExistingAccess access,
                  const std::string& opened);

  std::map<std::string, std::string> settings_;  // "FILE|SECTION|KEY" -> value
  std::map<std::string, FakeEntry> entries_;     // upper-case path -> entry
  std::map<std::string, Bytes> resources_;       // upper-case name -> bytes
  std::map<intptr_t, OpenFile> handles_;         // open handle -> what it has open
  intptr_t nextHandle_ = 1;
};

// Upper-case copy of an ASCII text.
std::string Upper(std::string text);
