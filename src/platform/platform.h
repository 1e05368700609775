// The platform seam: every operating-system operation the installer logic calls. Each
// reports what the system said, as facts (an error's class, a file's attributes and
// links); what they mean for the run, a brief hold, a link, a move to try another way,
// the logic decides. The logic never includes windows.h; the Windows implementation
// lives in win32_platform.cpp and the tests use a fake.
#pragma once

#include <stdint.h>

// Message box styles.
constexpr unsigned kStyleOk = 0;        // OK, no icon
constexpr unsigned kStyleOkCancel = 1;  // OK and Cancel, no icon
constexpr unsigned kStyleError = 16;    // OK with the error icon

// Message box results. Anything that is neither OK nor Cancel means the box could
// not be shown.
constexpr int kAnswerNotShown = 0;
constexpr int kAnswerOk = 1;
constexpr int kAnswerCancel = 2;

// An open file; kNoFile is none.
using FileHandle = void*;
const FileHandle kNoFile = nullptr;

// File attributes, as Windows keeps them.
constexpr uint32_t kAttributeReadOnly = 0x1;
constexpr uint32_t kAttributeHidden = 0x2;
constexpr uint32_t kAttributeSystem = 0x4;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;  // none of the others, said alone
constexpr uint32_t kAttributeReparsePoint = 0x400;
constexpr uint32_t kNoAttributes = 0xFFFFFFFF;  // no entry of that name, or no answer

// The class of the error a file operation ended with.
enum class FileError {
  kNone,
  kSharing,       // a sharing or lock violation: another program has the file open
  kAccessDenied,  // access denied: read-only, a directory, a hold, or permissions
  kExists,        // an entry of that name is already there
  kNotFound,      // no such file or folder
  kUnsupported,   // the system does not offer the operation (an invalid parameter)
  kOther,
};

// What a handle says of the file it has open.
struct FileFacts {
  uint32_t attributes;
  uint32_t links;  // its number of names (hard links)
  int64_t size;
  uint32_t reparseTag;  // the kind of reparse point it is, where kAttributeReparsePoint
};

// How the system names an open file or folder (GetFinalPathNameByHandle): the path with
// every link resolved and each name as the disk spells it, on its drive letter or share;
// the path as it was opened; the normalized path on the volume's GUID name; or, where
// none of these can be had (Wine gives none of a path of 260 characters), the path on
// its volume after the volume's serial number.
enum class PathNaming { kNormalized, kOpened, kVolumeGuid, kOnVolume };
constexpr PathNaming kPathNamings[] = {PathNaming::kNormalized, PathNaming::kOpened,
                                       PathNaming::kVolumeGuid, PathNaming::kOnVolume};

// How a file is opened that was already there.
enum class ExistingAccess {
  kReadAndStamp,  // its bytes read and its time set; others may read it meanwhile
  kRemove,        // removed, through the handle; others may do anything meanwhile
};

// How a move through a handle replaces the entry at its target.
enum class MoveSemantics {
  kPosix,    // FileRenameInfoEx, replace and POSIX semantics: even a target that others
             // have open (with delete sharing) is replaced. Windows 10 1607 and later.
  kClassic,  // FileRenameInfo with replace: every Windows since Vista.
};

// One raw-data resource of the running executable. The bytes stay valid until the
// process ends.
struct PayloadResource {
  int32_t size;
  const unsigned char* bytes;
};

// The open-file dialog record, field for field the Windows OPENFILENAMEA record
// (88 bytes in the 32-bit program).
struct OpenFileRecord {
  uint32_t lStructSize;
  void* hwndOwner;
  void* hInstance;
  const char* lpstrFilter;
  char* lpstrCustomFilter;
  uint32_t nMaxCustFilter;
  uint32_t nFilterIndex;
  char* lpstrFile;
  uint32_t nMaxFile;
  char* lpstrFileTitle;
  uint32_t nMaxFileTitle;
  const char* lpstrInitialDir;
  const char* lpstrTitle;
  uint32_t Flags;
  uint16_t nFileOffset;
  uint16_t nFileExtension;
  const char* lpstrDefExt;
  intptr_t lCustData;
  void* lpfnHook;
  const char* lpTemplateName;
  void* pvReserved;
  uint32_t dwReserved;
  uint32_t FlagsEx;
};

class Platform {
 public:
  // A modal box with no owner. Returns kAnswerOk, kAnswerCancel (also when the box
  // is closed) or kAnswerNotShown.
  virtual int ShowMessageBox(const char* text, const char* caption, unsigned style) = 0;

  // WIN.INI: the value, or fallback when the key is absent, cut to limit - 1
  // characters.
  virtual void GetProfileStringA(const char* section, const char* key, const char* fallback,
                                 char* area, uint32_t limit) = 0;
  virtual void WriteProfileStringA(const char* section, const char* key, const char* value) = 0;

  // A settings file: as above; fallback also when the file is missing or the path
  // is rejected.
  virtual void GetPrivateProfileStringA(const char* section, const char* key, const char* fallback,
                                        char* area, uint32_t limit, const char* path) = 0;

  // The standard open-file dialog. True when a file was chosen; its full path is
  // then in the record's file-name area.
  virtual bool GetOpenFileNameA(OpenFileRecord& record) = 0;

  // True when the byte is the first byte of a double-byte character in the
  // system's ANSI code page.
  virtual bool IsLeadByte(unsigned char byte) = 0;

  // Looks the name up among the RCDATA resources of the running executable.
  // False when there is none.
  virtual bool FindPayloadResource(const char* name, PayloadResource& resource) = 0;

  // Every operation on a name in the host folder, once the folder is held, is made inside
  // the held folder (folder: the handle OpenHostFolder gave) with the bare name, so that a
  // link at the folder's path, pointed elsewhere after the hold, changes nothing.

  // Creates the file name in folder for reading, writing and removal, without sharing,
  // only when there is no entry of that name yet (a link counts as one and is never
  // followed): never truncates what is there. kNoFile, with the error, when it cannot.
  virtual FileHandle CreateOutputFile(FileHandle folder, const char* name, FileError& error) = 0;
  // Returns the number of bytes written, or -1 on failure.
  virtual int32_t WriteOutputFile(FileHandle file, const unsigned char* bytes, int32_t count) = 0;
  // Writes what the file holds through to the disk: kNone, or the error (kUnsupported where
  // the file system does not implement flushing, as some redirectors answer).
  virtual FileError FlushOutputFile(FileHandle file) = 0;
  // Sets the last-write time from a packed local DOS date (high 16 bits) and time
  // (low 16 bits). False when it could not. Also for a file opened to be stamped.
  virtual bool StampWriteTime(FileHandle file, uint32_t stamp) = 0;
  // Sets the attributes (kAttributeNormal for none). False when it could not.
  virtual bool SetFileAttributesByHandle(FileHandle file, uint32_t attributes) = 0;
  // Gives the open file the name name in folder, replacing the entry there as a name (a
  // link there is replaced, never followed); the file stays open.
  virtual FileError MoveOpenFile(FileHandle file, FileHandle folder, const char* name,
                                 MoveSemantics semantics) = 0;
  // Removes the open file through its handle and closes the handle. False when the
  // removal could not be set; the handle is closed either way.
  virtual bool DeleteAndCloseFile(FileHandle file) = 0;
  // Closes the handle. Also for a file opened with OpenExistingFile.
  virtual void CloseOutputFile(FileHandle file) = 0;

  // Opens the file name in folder that is already there, as itself where it is a link;
  // never a directory. kNoFile, with the error, when it cannot.
  virtual FileHandle OpenExistingFile(FileHandle folder, const char* name, ExistingAccess access,
                                      FileError& error) = 0;
  // What the open file is. False when not known.
  virtual bool QueryOpenFile(FileHandle file, FileFacts& facts) = 0;
  // Reads up to count bytes from the current position. Returns the number read (0 at
  // the end), or -1 on failure.
  virtual int32_t ReadExistingFile(FileHandle file, unsigned char* bytes, int32_t count) = 0;
  // Opens the folder path (ending in "\\"), following links, and holds it: neither it nor
  // a folder above it can be renamed until it is closed (CloseOutputFile). kNoFile, with
  // the error, when it cannot.
  virtual FileHandle OpenHostFolder(const char* path, FileError& error) = 0;
  // The system's name of an open file or folder in area, as UTF-16: its length, or 0
  // when it cannot be had or does not fit.
  virtual uint32_t GetFinalPathName(FileHandle file, PathNaming naming, char16_t* area,
                                    uint32_t limit) = 0;
  // The text, in the system's ANSI code page, as UTF-16 in area: its length, or 0 when it
  // cannot be converted or does not fit.
  virtual uint32_t WidenName(const char* text, char16_t* area, uint32_t limit) = 0;

  // The attributes of the entry name in folder (itself where it is a link), or
  // kNoAttributes when there is none.
  virtual uint32_t GetFileAttributesInFolder(FileHandle folder, const char* name) = 0;

  // The value of an environment variable in area: its length, or 0 when it is not
  // set; when it does not fit, the size area would need, terminator included.
  virtual uint32_t GetEnvironmentVariableA(const char* name, char* area, uint32_t limit) = 0;
  // The long form of an existing path, short 8.3 names expanded: its length, or 0 when
  // it cannot be had; when it does not fit, the size area would need.
  virtual uint32_t GetLongPathNameA(const char* path, char* area, uint32_t limit) = 0;

  // The profile folder of the user signed in to this session, who may not be the
  // account the run has (a standard user elevates with an administrator's password):
  // its length, or 0 when it cannot be had; when it does not fit, the size area would
  // need.
  virtual uint32_t GetSessionUserProfile(char* area, uint32_t limit) = 0;

  // Waits, doing nothing, for about that long.
  virtual void Sleep(uint32_t milliseconds) = 0;

  // True when the entry exists and is no directory.
  virtual bool ProbeFile(const char* path) = 0;
  // True when any entry matches the pattern, directories, hidden and system entries
  // included. Leaves no search open.
  virtual bool ProbePattern(const char* pattern) = 0;

  // Shuts the runtime down and ends the process with exit status 0.
  [[noreturn]] void EndRun() {
    EndProcess();
    __builtin_trap();  // EndProcess never comes back
  }

 protected:
  virtual void EndProcess() = 0;

  Platform() = default;
  ~Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
};
