// The platform operations on Win32.
#include "platform/win32_platform.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
// after windows.h, which it builds on
#include <commdlg.h>
#include <winternl.h>
#include <wtsapi32.h>

#include "platform/file_errors.h"
#include "platform/narrowing.h"
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

static_assert(kCodePageUtf8 == CP_UTF8 && kNarrowNoBestFitChars == WC_NO_BEST_FIT_CHARS &&
                  kNarrowErrInvalidChars == WC_ERR_INVALID_CHARS,
              "narrowing");

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

// The native calls that take a folder's handle as the root of a name, so that a name in
// the held folder is resolved inside it and never again through the folder's path
// (Microsoft Learn, "NtCreateFile function", ObjectAttributes; "FILE_RENAME_INFORMATION
// structure", RootDirectory). SetFileInformationByHandle does not take a root on every
// Windows, and under Wine 8 answers "invalid parameter". ntdll is in every process.
using NtCreateFileFunction = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                              PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                              ULONG, PVOID, ULONG);
// The information class is an enumeration, passed as a 32-bit value.
using NtSetInformationFileFunction = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                      ULONG);
using RtlNtStatusToDosErrorFunction = ULONG(NTAPI*)(NTSTATUS);

struct NativeCalls {
  NtCreateFileFunction create;
  NtSetInformationFileFunction setInformation;
  RtlNtStatusToDosErrorFunction toDosError;
};

NativeCalls NativeCallsFound;
bool NativeCallsLoaded = false;

const NativeCalls& Native() {
  if (!NativeCallsLoaded) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    NativeCallsFound = {FunctionOf<NtCreateFileFunction>(ntdll, "NtCreateFile"),
                        FunctionOf<NtSetInformationFileFunction>(ntdll, "NtSetInformationFile"),
                        FunctionOf<RtlNtStatusToDosErrorFunction>(ntdll, "RtlNtStatusToDosError")};
    NativeCallsLoaded = true;
  }
  return NativeCallsFound;
}

// The class of a native call's status.
FileError FileErrorOfStatus(NTSTATUS status) {
  if (status >= 0) return FileError::kNone;
  return Native().toDosError != nullptr ? FileErrorOf(Native().toDosError(status))
                                        : FileError::kOther;
}

// The text, in the ANSI code page, as UTF-16 in area of limit units: its length, or 0
// when it cannot be converted or does not fit.
uint32_t Widen(const char* text, WCHAR* area, uint32_t limit) {
  int units =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, area, static_cast<int>(limit));
  return units > 0 ? static_cast<uint32_t>(units - 1) : 0;
}

// A bare name in the held folder, as the native calls take it: the name in UTF-16 and
// the attributes that make the folder its root, compared regardless of case as CreateFile
// compares names.
struct NameInFolder {
  WCHAR text[MAX_PATH + 1];
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES attributes;

  // False when the name cannot be converted or the folder is none.
  bool Set(HANDLE folder, const char* bare) {
    uint32_t units = Widen(bare, text, MAX_PATH + 1);
    if (units == 0 || folder == kNoFile) return false;
    name.Length = static_cast<USHORT>(units * sizeof(WCHAR));
    name.MaximumLength = static_cast<USHORT>((units + 1) * sizeof(WCHAR));
    name.Buffer = text;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, folder, nullptr);
    return true;
  }
};

// NtCreateFile's dispositions and options for what CreateFile is asked (open_arguments.h).
constexpr ULONG kNativeOpen = 1;    // FILE_OPEN
constexpr ULONG kNativeCreate = 2;  // FILE_CREATE
constexpr ULONG kNativeSynchronousIo = 0x20;
constexpr ULONG kNativeNonDirectoryFile = 0x40;
constexpr ULONG kNativeOpenReparsePoint = 0x00200000;

// Opens the name in the held folder as that kind of open does, as CreateFile would open
// the path: synchronous, a directory only with backup semantics, with the access
// CreateFile always adds.
FileHandle OpenInFolder(OpenKind kind, FileHandle folder, const char* name, FileError& error) {
  OpenArguments open = OpenArgumentsFor(kind);
  NameInFolder named;
  error = FileError::kNotFound;
  if (Native().create == nullptr || !named.Set(folder, name)) return kNoFile;
  ULONG options = kNativeSynchronousIo |
                  ((open.flags & kFlagBackupSemantics) != 0 ? 0 : kNativeNonDirectoryFile) |
                  ((open.flags & kFlagOpenReparsePoint) != 0 ? kNativeOpenReparsePoint : 0);
  HANDLE file = nullptr;
  IO_STATUS_BLOCK io;
  NTSTATUS status = Native().create(
      &file, open.access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &named.attributes, &io, nullptr,
      open.flags & FILE_ATTRIBUTE_NORMAL, open.sharing,
      open.disposition == kDispositionCreateNew ? kNativeCreate : kNativeOpen, options, nullptr, 0);
  error = FileErrorOfStatus(status);
  return status >= 0 ? file : kNoFile;
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

// FileRenameInformationEx and its flags: Windows 10 1607 and later (Microsoft Learn,
// "FILE_RENAME_INFORMATION structure"); older headers lack them.
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileRenameInformationEx = 65;
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
using GetShellWindowFunction = HWND(WINAPI*)();
using GetWindowThreadProcessIdFunction = DWORD(WINAPI*)(HWND, LPDWORD);
using WtsEnumerateProcessesFunction = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, PWTS_PROCESS_INFOW*,
                                                    DWORD*);
using WtsQuerySessionFunction = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
using WtsFreeMemoryFunction = void(WINAPI*)(PVOID);
using OpenProcessTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using GetTokenInformationFunction = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD,
                                                  PDWORD);
using LookupAccountNameFunction = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, PSID, LPDWORD, LPWSTR, LPDWORD,
                                                PSID_NAME_USE);
using ConvertSidToStringSidFunction = BOOL(WINAPI*)(PSID, LPWSTR*);
using RegOpenKeyExFunction = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
using RegQueryValueExFunction = LONG(WINAPI*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using RegCloseKeyFunction = LONG(WINAPI*)(HKEY);

// The profile folder that ProfileList gives for the SID, in profile; false when there
// is none.
bool ProfileOfSid(PSID sid, WCHAR (&profile)[MAX_PATH + 1]) {
  HMODULE advapi = LoadSystemLibrary("advapi32.dll");
  auto convert = FunctionOf<ConvertSidToStringSidFunction>(advapi, "ConvertSidToStringSidW");
  auto openKey = FunctionOf<RegOpenKeyExFunction>(advapi, "RegOpenKeyExW");
  auto queryValue = FunctionOf<RegQueryValueExFunction>(advapi, "RegQueryValueExW");
  auto closeKey = FunctionOf<RegCloseKeyFunction>(advapi, "RegCloseKey");
  LPWSTR sidText = nullptr;
  if (convert == nullptr || openKey == nullptr || queryValue == nullptr || closeKey == nullptr ||
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

// The profile of the user whose shell runs on this session's desktop, found by the SID
// of the shell's process, which needs no name: Entra ID accounts, whose short names the
// name lookup cannot map, and domain accounts away from their domain are found too. The
// terminal services give each process's user whatever the rights on it; the process's
// own token stands in where they do not. False when there is no shell.
bool ShellUserProfile(WCHAR (&profile)[MAX_PATH + 1]) {
  HMODULE user = LoadSystemLibrary("user32.dll");
  auto shellWindow = FunctionOf<GetShellWindowFunction>(user, "GetShellWindow");
  auto threadOf = FunctionOf<GetWindowThreadProcessIdFunction>(user, "GetWindowThreadProcessId");
  HWND shell = shellWindow != nullptr ? shellWindow() : nullptr;
  DWORD process = 0;
  if (shell == nullptr || threadOf == nullptr || threadOf(shell, &process) == 0 || process == 0) {
    return false;
  }
  HMODULE sessions = LoadSystemLibrary("wtsapi32.dll");
  auto enumerate = FunctionOf<WtsEnumerateProcessesFunction>(sessions, "WTSEnumerateProcessesW");
  auto release = FunctionOf<WtsFreeMemoryFunction>(sessions, "WTSFreeMemory");
  PWTS_PROCESS_INFOW processes = nullptr;
  DWORD count = 0;
  if (enumerate != nullptr && release != nullptr &&
      enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &processes, &count)) {
    bool found = false;
    for (DWORD i = 0; i < count; ++i) {
      if (processes[i].ProcessId == process && processes[i].pUserSid != nullptr) {
        found = ProfileOfSid(processes[i].pUserSid, profile);
        break;
      }
    }
    release(processes);
    if (found) return true;
  }
  HMODULE advapi = LoadSystemLibrary("advapi32.dll");
  auto openToken = FunctionOf<OpenProcessTokenFunction>(advapi, "OpenProcessToken");
  auto tokenInformation = FunctionOf<GetTokenInformationFunction>(advapi, "GetTokenInformation");
  HANDLE shellProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  if (shellProcess == nullptr) return false;
  HANDLE token = nullptr;
  bool opened = openToken != nullptr && openToken(shellProcess, TOKEN_QUERY, &token);
  CloseHandle(shellProcess);
  if (!opened) return false;
  alignas(TOKEN_USER) BYTE owner[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  bool read =
      tokenInformation != nullptr && tokenInformation(token, TokenUser, owner, sizeof owner, &size);
  CloseHandle(token);
  return read && ProfileOfSid(reinterpret_cast<TOKEN_USER*>(owner)->User.Sid, profile);
}

// The profile of the session's user by name (DOMAIN\name), where the shell's process
// cannot tell it; false when it cannot be had.
bool NamedUserProfile(WCHAR (&profile)[MAX_PATH + 1]) {
  HMODULE sessions = LoadSystemLibrary("wtsapi32.dll");
  auto query = FunctionOf<WtsQuerySessionFunction>(sessions, "WTSQuerySessionInformationW");
  auto release = FunctionOf<WtsFreeMemoryFunction>(sessions, "WTSFreeMemory");
  auto lookup = FunctionOf<LookupAccountNameFunction>(LoadSystemLibrary("advapi32.dll"),
                                                      "LookupAccountNameW");
  if (query == nullptr || release == nullptr || lookup == nullptr) return false;
  WCHAR account[512] = {};
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
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  WCHAR accountDomain[256];
  DWORD domainSize = 256;
  SID_NAME_USE use;
  return named && lookup(nullptr, account, sid, &sidSize, accountDomain, &domainSize, &use) &&
         ProfileOfSid(sid, profile);
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

  FileHandle CreateOutputFile(FileHandle folder, const char* name, FileError& error) override {
    return OpenInFolder(OpenKind::kNewFile, folder, name, error);
  }

  int32_t WriteOutputFile(FileHandle file, const unsigned char* bytes, int32_t count) override {
    if (file == kNoFile) return -1;
    DWORD written = 0;
    if (!WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr)) return -1;
    return static_cast<int32_t>(written);
  }

  FileError FlushOutputFile(FileHandle file) override {
    return FlushFileBuffers(HandleOf(file)) ? FileError::kNone : LastFileError();
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

  FileError MoveOpenFile(FileHandle file, FileHandle folder, const char* name,
                         MoveSemantics semantics) override {
    // The rename record (FILE_RENAME_INFO has its layout) with the held folder as its root
    // and the bare name.
    struct {
      FILE_RENAME_INFO info;
      WCHAR rest[MAX_PATH + 1];
    } rename = {};
    uint32_t characters = Widen(name, rename.info.FileName, MAX_PATH + 1);
    if (characters == 0 || folder == kNoFile || Native().setInformation == nullptr) {
      return FileError::kOther;
    }
    rename.info.FileNameLength = characters * sizeof(WCHAR);
    rename.info.RootDirectory = folder;
    ULONG kind = kFileRenameInformation;
    if (semantics == MoveSemantics::kPosix) {
      kind = kFileRenameInformationEx;
      // The flags share their place with ReplaceIfExists.
      *reinterpret_cast<DWORD*>(&rename.info) = kRenameReplaceIfExists | kRenamePosixSemantics;
    } else {
      rename.info.ReplaceIfExists = TRUE;
    }
    IO_STATUS_BLOCK io;
    return FileErrorOfStatus(
        Native().setInformation(HandleOf(file), &io, &rename, sizeof rename, kind));
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
    WCHAR profile[MAX_PATH + 1];
    if (!ShellUserProfile(profile) && !NamedUserProfile(profile)) return 0;
    // Only a name that the ANSI code page spells exactly: a near one names another folder.
    Narrowing narrowing = NarrowingFor(GetACP());
    BOOL inexact = FALSE;
    BOOL* usedDefault = narrowing.asksUsedDefault ? &inexact : nullptr;
    int bytes =
        WideCharToMultiByte(CP_ACP, narrowing.flags, profile, -1, nullptr, 0, nullptr, usedDefault);
    if (bytes <= 0 || inexact) return 0;
    if (static_cast<uint32_t>(bytes) > limit) return static_cast<uint32_t>(bytes);
    WideCharToMultiByte(CP_ACP, narrowing.flags, profile, -1, area, static_cast<int>(limit),
                        nullptr, nullptr);
    return static_cast<uint32_t>(bytes - 1);
  }

  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }

  FileHandle OpenExistingFile(FileHandle folder, const char* name, ExistingAccess access,
                              FileError& error) override {
    return OpenInFolder(
        access == ExistingAccess::kReadAndStamp ? OpenKind::kToStamp : OpenKind::kToRemove, folder,
        name, error);
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
    return Widen(text, reinterpret_cast<WCHAR*>(area), limit);
  }

  int32_t ReadExistingFile(FileHandle file, unsigned char* bytes, int32_t count) override {
    DWORD read = 0;
    if (!ReadFile(file, bytes, static_cast<DWORD>(count), &read, nullptr)) return -1;
    return static_cast<int32_t>(read);
  }

  uint32_t GetFileAttributesInFolder(FileHandle folder, const char* name) override {
    // Asked of a handle: NtQueryAttributesFile takes a root on Windows, but Wine 8 reads the
    // name against the current folder instead.
    FileError error;
    FileHandle entry = OpenInFolder(OpenKind::kToQuery, folder, name, error);
    FILE_BASIC_INFO basic;
    bool known = entry != kNoFile &&
                 GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof basic);
    CloseOutputFile(entry);
    return known ? basic.FileAttributes : kNoAttributes;
  }

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
