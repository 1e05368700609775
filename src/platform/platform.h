// The platform seam: every operating-system operation the installer logic calls,
// each with exactly the result the logic relies on. The logic never includes
// windows.h; the Windows implementation lives in win32_platform.cpp and the tests
// use a fake.
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

// An open file: one this run created for writing, or one that was already there,
// opened for reading. kNoFile is a file that could not be opened: every write to it
// fails.
using FileHandle = void*;
const FileHandle kNoFile = nullptr;

// How an operation on a file ended.
enum class FileOutcome {
  kDone,
  // Another program holds the file for now: a sharing or lock violation, or access
  // denied on a file that is not read-only (a scanner or the search indexer that has
  // it open for a moment). A later try may succeed.
  kHeld,
  kFailed,
};

// One raw-data resource of the running executable. The bytes stay valid until the
// process ends.
struct PayloadResource {
  const void* info;
  const void* data;
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

// A file that was already there, opened for reading its bytes and writing its
// attributes (others may only read it meanwhile); never for writing its bytes.
struct ExistingFile {
  FileHandle file;  // kNoFile when it could not be opened
  int64_t size;     // when opened
  bool readOnly;    // its read-only attribute, known also when it could not be opened
  bool plain;       // a file of this one name, no link: its time may be set in place
  bool held;        // it could not be opened because another program holds it for now
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

  // Creates the file for reading and writing, without sharing, only when there is no
  // entry of that name yet (a link counts as one and is never followed). Returns
  // kNoFile otherwise or when it cannot be created.
  virtual FileHandle CreateNewOutputFile(const char* path) = 0;
  // Returns the number of bytes written, or -1 on failure.
  virtual int32_t WriteOutputFile(FileHandle file, const unsigned char* bytes, int32_t count) = 0;
  // Writes what the file holds through to the disk. False on failure.
  virtual bool FlushOutputFile(FileHandle file) = 0;
  virtual void CloseOutputFile(FileHandle file) = 0;
  // Removes a file this run created, through its handle, and closes it.
  virtual void DiscardOutputFile(FileHandle file) = 0;
  // Sets the last-write time from a packed local DOS date (high 16 bits) and time
  // (low 16 bits). Failures are ignored.
  virtual void StampWriteTime(FileHandle file, uint32_t stamp) = 0;
  // Moves a closed file onto target, replacing the entry of that name (a link there
  // is replaced, not followed), and returns only when the move is on the disk.
  virtual FileOutcome ReplaceOutputFile(const char* path, const char* target) = 0;
  // Removes a file that this run created and closed.
  virtual FileOutcome DeleteOutputFile(const char* path) = 0;

  // Opens a file that is already there; see ExistingFile. CloseOutputFile closes it
  // and StampWriteTime sets its time.
  virtual ExistingFile OpenExistingFile(const char* path) = 0;
  // Reads up to count bytes from the current position. Returns the number read (0 at
  // the end), or -1 on failure.
  virtual int32_t ReadExistingFile(FileHandle file, unsigned char* bytes, int32_t count) = 0;

  // The value of an environment variable in area: its length, or 0 when it is not
  // set; when it does not fit, the size area would need, terminator included.
  virtual uint32_t GetEnvironmentVariableA(const char* name, char* area, uint32_t limit) = 0;

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
