#include "platform/win32_libraries.h"

#include "common/text.h"
#include "platform/win32_preload.h"

namespace {

// True once the process searches the system folder only (SetDefaultDllDirectories,
// Windows 8 and later, or earlier ones with the update that added it).
bool SystemSearchOnly = false;

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetProcessMitigationPolicyFunction = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);

// Turns on the mitigations of current Windows that keep DLLs and redirections from
// being planted: images prefer the system folder, and junctions and links that a
// standard user made are not followed. Older systems lack them; that is ignored.
void TurnOnLoadMitigations(HMODULE kernel) {
  auto setPolicy =
      FunctionOf<SetProcessMitigationPolicyFunction>(kernel, "SetProcessMitigationPolicy");
  if (setPolicy == nullptr) return;
  PROCESS_MITIGATION_IMAGE_LOAD_POLICY images = {};
  images.PreferSystem32Images = 1;
  setPolicy(ProcessImageLoadPolicy, &images, sizeof images);
  PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY redirection = {};
  redirection.EnforceRedirectionTrust = 1;
  setPolicy(ProcessRedirectionTrustPolicy, &redirection, sizeof redirection);
}

// True on Windows Vista (6.0), where SetDefaultDllDirectories, which KB2533623 adds, keeps
// the shell's COM objects from loading, so that the open-file dialog never shows; other
// installers skip it there and rely on their preload. GetVersion tells 6.0 truly: the
// manifest's supported versions only matter from 8.1 on.
bool IsWindowsVista() {
  DWORD version = GetVersion();
  return LOBYTE(LOWORD(version)) == 6 && HIBYTE(LOWORD(version)) == 0;
}

}  // namespace

void RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto setDefault = IsWindowsVista() ? nullptr
                                     : FunctionOf<SetDefaultDllDirectoriesFunction>(
                                           kernel, "SetDefaultDllDirectories");
  SystemSearchOnly = setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
  SetDllDirectoryA("");
  TurnOnLoadMitigations(kernel);
  if (!SystemSearchOnly) PreloadUserInterfaceLibraries();
}

void PreloadUserInterfaceLibraries() {
  // A DLL already in the process is found by its name before any folder is searched,
  // so whatever loads one of these by name later gets the system folder's.
  for (const char* name : kUserInterfaceLibraries) LoadSystemLibrary(name);
}

HMODULE LoadSystemLibrary(const char* name) {
  if (SystemSearchOnly) return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Without the restricted search: by its full path, with its own dependencies looked
  // for from the system folder first rather than from the program's folder.
  char path[MAX_PATH + 1];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  AppendText(path, "\\");
  AppendText(path, name);
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
