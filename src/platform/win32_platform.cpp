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

// The class of the last error of a file operation.
FileError LastFileError() {
  switch (GetLastError()) {
    case ERROR_SUCCESS:
      return FileError::kNone;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileError::kSharing;
    case ERROR_ACCESS_DENIED:
      return FileError::kAccessDenied;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return FileError::kExists;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FileError::kNotFound;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
      return FileError::kUnsupported;
    default:
      return FileError::kOther;
  }
}

// FileRenameInfoEx and its flags: Windows 10 1607 and later (Microsoft Learn,
// "FILE_RENAME_INFORMATION structure"); older headers lack them.
constexpr FILE_INFO_BY_HANDLE_CLASS kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr DWORD kRenameReplaceIfExists = 0x1;
constexpr DWORD kRenamePosixSemantics = 0x2;
// The flags take the place of ReplaceIfExists and the padding after it.
static_assert(offsetof(FILE_RENAME_INFO, RootDirectory) >= sizeof(DWORD), "room for the flags");

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
    HRSRC info = FindResourceA(nullptr, name, RT_RCDATA);
    if (info == nullptr) return false;
    resource.size = static_cast<int32_t>(SizeofResource(nullptr, info));
    resource.bytes = static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, info)));
    return true;
  }

  FileHandle CreateOutputFile(const char* path, FileError& error) override {
    // Only ever a new file: an entry of that name, a link among them, makes it fail.
    // Delete access lets the file be moved and removed through this very handle.
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    error = file == INVALID_HANDLE_VALUE ? LastFileError() : FileError::kNone;
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

  bool StampWriteTime(FileHandle file, uint32_t stamp) override {
    FILETIME local;
    FILETIME universal;
    return DosDateTimeToFileTime(HIWORD(stamp), LOWORD(stamp), &local) &&
           LocalFileTimeToFileTime(&local, &universal) &&
           SetFileTime(HandleOf(file), nullptr, nullptr, &universal);
  }

  bool SetFileAttributesByHandle(FileHandle file, uint32_t attributes) override {
    // Times of zero are left as they are.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(HandleOf(file), FileBasicInfo, &basic, sizeof basic) != FALSE;
  }

  FileError MoveOpenFile(FileHandle file, const char* target, MoveSemantics semantics) override {
    // FILE_RENAME_INFO with the target's full path and no root folder (Microsoft Learn,
    // "SetFileInformationByHandle function", FileRenameInfo: Vista and later).
    struct {
      FILE_RENAME_INFO info;
      WCHAR rest[MAX_PATH + 1];
    } rename = {};
    int characters = MultiByteToWideChar(CP_ACP, 0, target, -1, rename.info.FileName, MAX_PATH + 1);
    if (characters == 0) return FileError::kOther;
    rename.info.FileNameLength = static_cast<DWORD>(characters - 1) * sizeof(WCHAR);
    FILE_INFO_BY_HANDLE_CLASS kind = FileRenameInfo;
    if (semantics == MoveSemantics::kPosix) {
      kind = kFileRenameInfoEx;
      // The flags share their place with ReplaceIfExists.
      *reinterpret_cast<DWORD*>(&rename.info) = kRenameReplaceIfExists | kRenamePosixSemantics;
    } else {
      rename.info.ReplaceIfExists = TRUE;
    }
    if (SetFileInformationByHandle(HandleOf(file), kind, &rename, sizeof rename)) {
      return FileError::kNone;
    }
    return LastFileError();
  }

  bool DeleteAndCloseFile(FileHandle file) override {
    if (file == kNoFile) return false;
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    bool deleted =
        SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(file);
    return deleted;
  }

  void CloseOutputFile(FileHandle file) override {
    if (file != kNoFile) CloseHandle(file);
  }

  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  FileHandle OpenExistingFile(const char* path, ExistingAccess access, FileError& error) override {
    // A link is opened as itself, where the system can. To be stamped: read and attribute
    // access only, its bytes never written through this handle, and others may only read
    // it while it is open. To be removed: delete access, and any sharing.
    bool stamp = access == ExistingAccess::kReadAndStamp;
    HANDLE file = CreateFileA(
        path, stamp ? GENERIC_READ | FILE_WRITE_ATTRIBUTES : DELETE | FILE_READ_ATTRIBUTES,
        stamp ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    error = file == INVALID_HANDLE_VALUE ? LastFileError() : FileError::kNone;
    return file == INVALID_HANDLE_VALUE ? kNoFile : file;
  }

  bool QueryOpenFile(FileHandle file, const char* path, FileFacts& facts) override {
    // These information classes need no volume information, which is slow to get
    // under Wine (GetFileInformationByHandle asks for the volume's serial number).
    FILE_STANDARD_INFO standard;
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
      return false;
    }
    facts.attributes = basic.FileAttributes;
    facts.links = standard.NumberOfLinks;
    facts.size = standard.EndOfFile.QuadPart;
    facts.namedAsOpened = IsOpenedAsNamed(file, path);
    return true;
  }

  int32_t ReadExistingFile(FileHandle file, unsigned char* bytes, int32_t count) override {
    DWORD read = 0;
    if (!ReadFile(file, bytes, static_cast<DWORD>(count), &read, nullptr)) return -1;
    return static_cast<int32_t>(read);
  }

  uint32_t GetFileAttributesA(const char* path) override { return ::GetFileAttributesA(path); }

  uint32_t GetEnvironmentVariableA(const char* name, char* area, uint32_t limit) override {
    return ::GetEnvironmentVariableA(name, area, limit);
  }

  uint32_t GetLongPathNameA(const char* path, char* area, uint32_t limit) override {
    return ::GetLongPathNameA(path, area, limit);
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
  // link led to: Wine opens what a symbolic link points to, but names it by where it
  // really is. Any doubt (another spelling of the same folder, a path too long) says no.
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
