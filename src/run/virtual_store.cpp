#include "run/virtual_store.h"

namespace {

// True when folder is the protected folder or lies inside it, as Windows compares paths.
bool IsInside(const char* folder, const char* protectedFolder) {
  size_t length = SharedPrefixIgnoringCase(folder, protectedFolder);
  if (protectedFolder[length] != '\0' || length < 3) return false;
  return folder[length] == '\0' || folder[length] == '\\' || protectedFolder[length - 1] == '\\';
}

// The folders whose files Windows virtualizes for an old host that writes there without
// administrator rights: the program folders (the 32-bit and the 64-bit one differ
// between a 32-bit and a 64-bit process, so all three names are asked) and the Windows
// folder, all on the system drive.
const char* const kVirtualizedFolders[] = {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432",
                                           "SystemRoot"};

bool IsVirtualized(Platform& platform, const char* folder) {
  for (const char* name : kVirtualizedFolders) {
    char value[kTextAreaSize];
    uint32_t length = platform.GetEnvironmentVariableA(name, value, sizeof value);
    if (length != 0 && length < sizeof value && IsInside(folder, value)) return true;
  }
  return false;
}

// The copy of file under the local application data folder localAppData; nullptr when
// it cannot be composed.
char* CopyUnder(const char* localAppData, const char* file) {
  return JoinText(localAppData, "\\VirtualStore", file + 2);
}

}  // namespace

void VirtualizedFolder(Platform& platform, const char* folder, char (&area)[kTextAreaSize]) {
  uint32_t length = platform.GetLongPathNameA(folder, area, sizeof area);
  if (length == 0 || length >= sizeof area || !IsVirtualized(platform, area)) CopyText(area, "");
}

void FindVirtualStoreCopies(Platform& platform, const char* file, char* (&copies)[2]) {
  copies[0] = nullptr;
  copies[1] = nullptr;
  char runs[kTextAreaSize];
  uint32_t length = platform.GetEnvironmentVariableA("LOCALAPPDATA", runs, sizeof runs);
  if (length == 0 || length >= sizeof runs) CopyText(runs, "");
  if (runs[0] != '\0') copies[0] = CopyUnder(runs, file);
  // The signed-in user's local application data is where a profile keeps it.
  char profile[kTextAreaSize];
  length = platform.GetSessionUserProfile(profile, sizeof profile);
  if (length == 0 || length >= sizeof profile) return;
  char* sessions = JoinText(profile, "\\AppData\\Local");
  if (sessions != nullptr && !IsSameIgnoringCase(sessions, runs)) {
    copies[1] = CopyUnder(sessions, file);
  }
  FreeText(sessions);
}
