// The platform operations on Win32.
#include "platform/win32_platform.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
// after windows.h, which it builds on
#include <commdlg.h>
#include <wtsapi32.h>

#include "platform/file_errors.h"
#include "platform/open_arguments.h"
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

// The numbers the portable maps use are those of the Windows headers.
static_assert(kErrorSuccess == ERROR_SUCCESS && kErrorInvalidFunction == ERROR_INVALID_FUNCTION &&
                  kErrorFileNotFound == ERROR_FILE_NOT_FOUND &&
                  kErrorPathNotFound == ERROR_PATH_NOT_FOUND &&
                  kErrorAccessDenied == ERROR_ACCESS_DENIED &&
                  kErrorSharingViolation == ERROR_SHARING_VIOLATION &&
                  kErrorLockViolation == ERROR_LOCK_VIOLATION &&
                  kErrorNotSupported == ERROR_NOT_SUPPORTED &&
                  kErrorFileExists == ERROR_FILE_EXISTS &&
                  kErrorInvalidParameter == ERROR_INVALID_PARAMETER &&
                  kErrorAlreadyExists == ERROR_ALREADY_EXISTS,
              "error numbers");
static_assert(kAccessGenericRead == GENERIC_READ && kAccessGenericWrite == GENERIC_WRITE &&
                  kAccessDelete == DELETE && kAccessListDirectory == FILE_LIST_DIRECTORY &&
                  kAccessReadAttributes == FILE_READ_ATTRIBUTES &&
                  kAccessWriteAttributes == FILE_WRITE_ATTRIBUTES &&
                  kShareRead == FILE_SHARE_READ && kShareWrite == FILE_SHARE_WRITE &&
                  kShareDelete == FILE_SHARE_DELETE && kDispositionCreateNew == CREATE_NEW &&
                  kDispositionOpenExisting == OPEN_EXISTING &&
                  kFlagAttributeNormal == FILE_ATTRIBUTE_NORMAL &&
                  kFlagOpenReparsePoint == FILE_FLAG_OPEN_REPARSE_POINT &&
                  kFlagBackupSemantics == FILE_FLAG_BACKUP_SEMANTICS,
              "open arguments");

// The class of the last error of a file operation.
FileError LastFileError() { return FileErrorOf(GetLastError()); }

// Opens path as that kind of open does (open_arguments.h).
FileHandle OpenAs(OpenKind kind, const char* path, FileError& error) {
  OpenArguments open = OpenArgumentsFor(kind);
  HANDLE file =
      CreateFileA(path, open.access, open.sharing, nullptr, open.disposition, open.flags, nullptr);
  error = file == INVALID_HANDLE_VALUE ? LastFileError() : FileError::kNone;
  return file == INVALID_HANDLE_VALUE ? kNoFile : file;
}

// Appends text to the wide text in area of capacity units, within that bound. False
// when it does not fit whole.
bool AppendWide(WCHAR* area, size_t capacity, const WCHAR* text) {
  size_t length = 0;
  while (length < capacity && area[length] != 0) ++length;
  for (; *text != 0; ++text) {
    if (length + 1 >= capacity) return false;
    area[length++] = *text;
  }
  area[length] = 0;
  return true;
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

// Who is signed in to this session, and where that user's profile is: only on the road
// of a host in a protected folder.
using WtsQuerySessionFunction = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
using WtsFreeMemoryFunction = void(WINAPI*)(PVOID);
using LookupAccountNameFunction = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, PSID, LPDWORD, LPWSTR, LPDWORD,
                                                PSID_NAME_USE);
using ConvertSidToStringSidFunction = BOOL(WINAPI*)(PSID, LPWSTR*);
using RegOpenKeyExFunction = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
using RegQueryValueExFunction = LONG(WINAPI*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using RegCloseKeyFunction = LONG(WINAPI*)(HKEY);

// The session's user, as DOMAIN\name, in account; false when it cannot be had.
bool SessionAccount(WCHAR (&account)[512]) {
  HMODULE sessions = LoadSystemLibrary("wtsapi32.dll");
  auto query = FunctionOf<WtsQuerySessionFunction>(sessions, "WTSQuerySessionInformationW");
  auto release = FunctionOf<WtsFreeMemoryFunction>(sessions, "WTSFreeMemory");
  if (query == nullptr || release == nullptr) return false;
  account[0] = 0;
  LPWSTR domain = nullptr;
  LPWSTR user = nullptr;
  DWORD bytes = 0;
  if (query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSDomainName, &domain, &bytes) &&
      domain != nullptr && domain[0] != 0) {
    AppendWide(account, 512, domain);
    AppendWide(account, 512, L"\\");
  }
  if (domain != nullptr) release(domain);
  bool named = query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName, &user, &bytes) &&
               user != nullptr && user[0] != 0 && AppendWide(account, 512, user);
  if (user != nullptr) release(user);
  return named;
}

// The profile folder that ProfileList gives for the account, in profile; false when
// there is none.
bool ProfileOf(const WCHAR* account, WCHAR (&profile)[MAX_PATH + 1]) {
  HMODULE advapi = LoadSystemLibrary("advapi32.dll");
  auto lookup = FunctionOf<LookupAccountNameFunction>(advapi, "LookupAccountNameW");
  auto convert = FunctionOf<ConvertSidToStringSidFunction>(advapi, "ConvertSidToStringSidW");
  auto openKey = FunctionOf<RegOpenKeyExFunction>(advapi, "RegOpenKeyExW");
  auto queryValue = FunctionOf<RegQueryValueExFunction>(advapi, "RegQueryValueExW");
  auto closeKey = FunctionOf<RegCloseKeyFunction>(advapi, "RegCloseKey");
  if (lookup == nullptr || convert == nullptr || openKey == nullptr || queryValue == nullptr ||
      closeKey == nullptr) {
    return false;
  }
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  WCHAR domain[256];
  DWORD domainSize = 256;
  SID_NAME_USE use;
  LPWSTR sidText = nullptr;
  if (!lookup(nullptr, account, sid, &sidSize, domain, &domainSize, &use) ||
      !convert(sid, &sidText)) {
    return false;
  }
  WCHAR key[160] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
  bool composed = AppendWide(key, 160, sidText);
  LocalFree(sidText);
  HKEY list = nullptr;
  if (!composed ||
      openKey(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &list) != 0) {
    return false;
  }
  WCHAR value[MAX_PATH + 1];
  DWORD type = 0;
  DWORD size = sizeof value - sizeof(WCHAR);
  LONG status =
      queryValue(list, L"ProfileImagePath", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  closeKey(list);
  if (status != 0 || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  value[size / sizeof(WCHAR)] = 0;
  DWORD expanded = ExpandEnvironmentStringsW(value, profile, MAX_PATH + 1);
  return expanded != 0 && expanded <= MAX_PATH + 1;
}

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
    return OpenAs(OpenKind::kNewFile, path, error);
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

  uint32_t GetSessionUserProfile(char* area, uint32_t limit) override {
    WCHAR account[512];
    WCHAR profile[MAX_PATH + 1];
    if (!SessionAccount(account) || !ProfileOf(account, profile)) return 0;
    // Only a name that the ANSI code page spells exactly: a near one names another folder.
    BOOL inexact = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, profile, -1, nullptr, 0, nullptr,
                                    &inexact);
    if (bytes <= 0 || inexact) return 0;
    if (static_cast<uint32_t>(bytes) > limit) return static_cast<uint32_t>(bytes);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, profile, -1, area, static_cast<int>(limit),
                        nullptr, nullptr);
    return static_cast<uint32_t>(bytes - 1);
  }

  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  FileHandle OpenExistingFile(const char* path, ExistingAccess access, FileError& error) override {
    return OpenAs(
        access == ExistingAccess::kReadAndStamp ? OpenKind::kToStamp : OpenKind::kToRemove, path,
        error);
  }

  FileHandle OpenHostFolder(const char* path, FileError& error) override {
    return OpenAs(OpenKind::kHostFolder, path, error);
  }

  bool QueryOpenFile(FileHandle file, FileFacts& facts) override {
    // These information classes need no volume information, which is slow to get
    // under Wine (GetFileInformationByHandle asks for the volume's serial number).
    FILE_STANDARD_INFO standard;
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) {
      return false;
    }
    facts.attributes = tag.FileAttributes;
    facts.reparseTag = tag.ReparseTag;
    facts.links = standard.NumberOfLinks;
    facts.size = standard.EndOfFile.QuadPart;
    return true;
  }

  uint32_t GetFinalPathName(FileHandle file, PathNaming naming, char16_t* area,
                            uint32_t limit) override {
    if (naming == PathNaming::kOnVolume) return NameOnVolume(file, area, limit);
    DWORD flags = naming == PathNaming::kNormalized ? FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
                  : naming == PathNaming::kOpened   ? FILE_NAME_OPENED | VOLUME_NAME_DOS
                                                    : FILE_NAME_NORMALIZED | VOLUME_NAME_GUID;
    // A length of limit or more is the room the name would need.
    DWORD length =
        GetFinalPathNameByHandleW(HandleOf(file), reinterpret_cast<WCHAR*>(area), limit, flags);
    return length < limit ? length : 0;
  }

  uint32_t WidenName(const char* text, char16_t* area, uint32_t limit) override {
    int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1,
                                    reinterpret_cast<WCHAR*>(area), static_cast<int>(limit));
    return units > 0 ? static_cast<uint32_t>(units - 1) : 0;
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
  // The volume's serial number in eight hexadecimal digits, ":", then the path on the
  // volume (FileNameInfo, which Wine gives at any length).
  static uint32_t NameOnVolume(FileHandle file, char16_t* area, uint32_t limit) {
    BY_HANDLE_FILE_INFORMATION information;
    // The record and the name after it, read as bytes: the name runs past the record's
    // one declared character.
    alignas(FILE_NAME_INFO) unsigned char named[sizeof(FILE_NAME_INFO) + 2048];
    if (!GetFileInformationByHandle(HandleOf(file), &information) ||
        !GetFileInformationByHandleEx(HandleOf(file), FileNameInfo, named, sizeof named)) {
      return 0;
    }
    DWORD bytes = reinterpret_cast<FILE_NAME_INFO*>(named)->FileNameLength;
    uint32_t characters = bytes / sizeof(WCHAR);
    if (bytes > sizeof named - offsetof(FILE_NAME_INFO, FileName) || characters + 10 > limit) {
      return 0;
    }
    for (int digit = 0; digit < 8; ++digit) {
      uint32_t value = (information.dwVolumeSerialNumber >> (28 - 4 * digit)) & 0xF;
      area[digit] = static_cast<char16_t>(value < 10 ? u'0' + value : u'A' + value - 10);
    }
    area[8] = u':';
    memcpy(area + 9, named + offsetof(FILE_NAME_INFO, FileName), characters * sizeof(WCHAR));
    area[9 + characters] = 0;
    return 9 + characters;
  }
};

Win32Platform ThePlatform;

}  // namespace

Platform& TheWin32Platform() { return ThePlatform; }
