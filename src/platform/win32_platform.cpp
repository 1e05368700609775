// The platform operations on Win32.
#include "platform/win32_platform.h"

#include <stddef.h>
#include <stdlib.h>
#include <windows.h>
// after windows.h, which it builds on
#include <commdlg.h>

#include "platform/win32_libraries.h"

static_assert(sizeof(OpenFileRecord) == sizeof(OPENFILENAMEA), "dialog record size");
#ifndef _WIN64
static_assert(sizeof(OPENFILENAMEA) == 88, "the 32-bit dialog record has 88 bytes");
#endif
static_assert(offsetof(OpenFileRecord, lpstrFile) == offsetof(OPENFILENAMEA, lpstrFile), "");
static_assert(offsetof(OpenFileRecord, lpstrInitialDir) == offsetof(OPENFILENAMEA, lpstrInitialDir),
              "");
static_assert(offsetof(OpenFileRecord, Flags) == offsetof(OPENFILENAMEA, Flags), "");
static_assert(offsetof(OpenFileRecord, FlagsEx) == offsetof(OPENFILENAMEA, FlagsEx), "");

namespace {

HANDLE HandleOf(FileHandle file) { return file == kNoFile ? INVALID_HANDLE_VALUE : file; }

// True when the file at path is there, and neither read-only nor a directory.
bool IsWritableFile(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

// Why the last call on the file at path failed. Another program that has the file
// open without the sharing asked for gives a sharing violation, or, for a move or a
// delete, access denied; a locked range gives a lock violation. Access denied on a
// read-only file or a directory is no hold: it will not end by itself.
FileOutcome FailureOf(const char* path) {
  DWORD error = GetLastError();
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
    return FileOutcome::kHeld;
  }
  if (error == ERROR_ACCESS_DENIED && IsWritableFile(path)) return FileOutcome::kHeld;
  return FileOutcome::kFailed;
}

using MessageBoxFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
using GetOpenFileNameFunction = BOOL(WINAPI*)(LPOPENFILENAMEA);

// The user-interface DLLs are not imported: they are loaded from the system folder
// when first needed (the dialog's, with all it pulls in, only on the locate road).
SystemFunction<MessageBoxFunction> MessageBoxFromSystem = {"user32.dll", "MessageBoxA", nullptr,
                                                           false};
SystemFunction<GetOpenFileNameFunction> GetOpenFileNameFromSystem = {
    "comdlg32.dll", "GetOpenFileNameA", nullptr, false};

class Win32Platform final : public Platform {
 public:
  constexpr Win32Platform() = default;

  int ShowMessageBox(const char* text, const char* caption, unsigned style) override {
    MessageBoxFunction messageBox = MessageBoxFromSystem.Get();
    if (messageBox == nullptr) return kAnswerNotShown;
    int answer = messageBox(nullptr, text, caption, style);
    // A box that could not be shown gives 0 on Windows and -1 under Wine.
    return answer == IDOK || answer == IDCANCEL ? answer : kAnswerNotShown;
  }

  void GetProfileStringA(const char* section, const char* key, const char* fallback, char* area,
                         uint32_t limit) override {
    ::GetProfileStringA(section, key, fallback, area, limit);
  }

  void WriteProfileStringA(const char* section, const char* key, const char* value) override {
    ::WriteProfileStringA(section, key, value);
  }

  void GetPrivateProfileStringA(const char* section, const char* key, const char* fallback,
                                char* area, uint32_t limit, const char* path) override {
    ::GetPrivateProfileStringA(section, key, fallback, area, limit, path);
  }

  bool GetOpenFileNameA(OpenFileRecord& record) override {
    GetOpenFileNameFunction getOpenFileName = GetOpenFileNameFromSystem.Get();
    return getOpenFileName != nullptr &&
           getOpenFileName(reinterpret_cast<OPENFILENAMEA*>(&record)) != FALSE;
  }

  bool IsLeadByte(unsigned char byte) override { return IsDBCSLeadByte(byte) != FALSE; }

  bool FindPayloadResource(const char* name, PayloadResource& resource) override {
    HRSRC info = FindResourceA(nullptr, name, MAKEINTRESOURCEA(10));
    if (info == nullptr) return false;
    HGLOBAL data = LoadResource(nullptr, info);
    resource.info = info;
    resource.data = data;
    resource.size = static_cast<int32_t>(SizeofResource(nullptr, info));
    resource.bytes = static_cast<const unsigned char*>(LockResource(data));
    return true;
  }

  FileHandle CreateNewOutputFile(const char* path) override {
    // Only ever a new file: an entry of that name, a link among them, makes it fail.
    // Delete access lets a failed file be removed through this very handle.
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? kNoFile : file;
  }

  int32_t WriteOutputFile(FileHandle file, const unsigned char* bytes, int32_t count) override {
    if (file == kNoFile) return -1;
    DWORD written = 0;
    if (!WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr)) return -1;
    return static_cast<int32_t>(written);
  }

  bool FlushOutputFile(FileHandle file) override {
    return file != kNoFile && FlushFileBuffers(file) != FALSE;
  }

  void CloseOutputFile(FileHandle file) override {
    if (file != kNoFile) CloseHandle(file);
  }

  void DiscardOutputFile(FileHandle file) override {
    if (file == kNoFile) return;
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(file);
  }

  void StampWriteTime(FileHandle file, uint32_t stamp) override {
    FILETIME local;
    FILETIME universal;
    if (DosDateTimeToFileTime(HIWORD(stamp), LOWORD(stamp), &local) &&
        LocalFileTimeToFileTime(&local, &universal)) {
      SetFileTime(HandleOf(file), nullptr, nullptr, &universal);
    }
  }

  FileOutcome ReplaceOutputFile(const char* path, const char* target) override {
    if (MoveFileExA(path, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return FileOutcome::kDone;
    }
    // The target held, or else the copy this run has just closed.
    DWORD error = GetLastError();
    FileOutcome outcome = FailureOf(target);
    if (outcome == FileOutcome::kFailed) {
      SetLastError(error);
      outcome = FailureOf(path);
    }
    return outcome;
  }

  FileOutcome DeleteOutputFile(const char* path) override {
    return DeleteFileA(path) ? FileOutcome::kDone : FailureOf(path);
  }

  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  ExistingFile OpenExistingFile(const char* path) override {
    ExistingFile existing = {kNoFile, 0, false, false, false};
    // Read and attribute access only: its bytes are never written through this
    // handle, and others may only read it while it is open. A link is opened as
    // itself, where the system can.
    HANDLE file = CreateFileA(path, GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      existing.held = FailureOf(path) == FileOutcome::kHeld;
      DWORD attributes = GetFileAttributesA(path);
      existing.readOnly =
          attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
      return existing;
    }
    // These information classes need no volume information, which is slow to get
    // under Wine (GetFileInformationByHandle asks for the volume's serial number).
    FILE_STANDARD_INFO standard;
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
      CloseHandle(file);
      return existing;
    }
    existing.file = file;
    existing.size = standard.EndOfFile.QuadPart;
    existing.readOnly = (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    existing.plain =
        (basic.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
        standard.NumberOfLinks == 1 && !standard.Directory && IsOpenedAsNamed(file, path);
    return existing;
  }

  int32_t ReadExistingFile(FileHandle file, unsigned char* bytes, int32_t count) override {
    DWORD read = 0;
    if (!ReadFile(file, bytes, static_cast<DWORD>(count), &read, nullptr)) return -1;
    return static_cast<int32_t>(read);
  }

  uint32_t GetEnvironmentVariableA(const char* name, char* area, uint32_t limit) override {
    return ::GetEnvironmentVariableA(name, area, limit);
  }

  bool ProbeFile(const char* path) override {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool ProbePattern(const char* pattern) override {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
  }

  void EndProcess() override { exit(0); }

 private:
  // True when the system says the open file is the one named path, not another one a
  // link led to: Wine opens what a symbolic link points to and reports it as a plain
  // file, but names it by where it really is. Any doubt (another spelling of the same
  // folder, a path too long) says no, which only costs a replacement instead of a
  // time stamp.
  static bool IsOpenedAsNamed(HANDLE file, const char* path) {
    char full[MAX_PATH + 1];
    DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length < 3 || length >= sizeof full || full[1] != ':') return false;
    WCHAR expected[MAX_PATH + 1];
    // The name the system gives has no drive.
    int wide = MultiByteToWideChar(CP_ACP, 0, full + 2, -1, expected, MAX_PATH + 1);
    struct {
      FILE_NAME_INFO info;
      WCHAR rest[MAX_PATH + 1];
    } named;
    if (wide == 0 || !GetFileInformationByHandleEx(file, FileNameInfo, &named, sizeof named)) {
      return false;
    }
    DWORD characters = named.info.FileNameLength / sizeof(WCHAR);
    if (characters > MAX_PATH) return false;
    named.info.FileName[characters] = L'\0';
    return lstrcmpiW(named.info.FileName, expected) == 0;
  }
};

Win32Platform ThePlatform;

}  // namespace

Platform& TheWin32Platform() { return ThePlatform; }
