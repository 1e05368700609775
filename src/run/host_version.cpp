#include "run/host_version.h"

#include "common/global_areas.h"
#include "common/messages.h"
#include "common/text.h"

namespace {

// The oldest host version that can use these dictionaries, compared as text.
const char kMinimumVersion[] = "41";

// Byte-wise comparison of unsigned bytes; a text that is a prefix of the other sorts
// first. Versions are compared as text, never as numbers.
bool SortsBefore(const char* text, const char* other) {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(other);
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a < *b;
}

// Reads the Version entry of the settings file at path (composed at any length, and
// freed here) into version: empty when it gives none.
void ReadVersionFrom(Platform& platform, char* path, char (&version)[sizeof HostVersion]) {
  CopyText(version, "");
  if (path != nullptr) {
    platform.GetPrivateProfileStringA("Common", "Version", "", version, sizeof version, path);
  }
  FreeText(path);
}

// True when folder is the protected folder or lies inside it, as Windows compares paths.
bool IsInside(const char* folder, const char* protectedFolder) {
  size_t length = SharedPrefixIgnoringCase(folder, protectedFolder);
  if (protectedFolder[length] != '\0' || length < 3) return false;
  return folder[length] == '\0' || folder[length] == '\\' || protectedFolder[length - 1] == '\\';
}

// The folders whose files Windows virtualizes for an old host that writes there without
// administrator rights: the program folders (the 32-bit and the 64-bit one differ
// between a 32-bit and a 64-bit process, so all three names are asked) and the Windows
// folder, all on the system drive (Microsoft Learn, "How User Account Control works":
// virtualization of protected folders).
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

// Where Windows keeps the settings file of an old host that wrote it without
// administrator rights into a protected folder: the user's %LOCALAPPDATA%\VirtualStore,
// then the folder's long path without its drive. A short 8.3 path is expanded first,
// so that the copy of the real folder is found, never one under a folder literally
// named like the short name. nullptr when the folder is not virtualized or the path
// cannot be composed.
char* VirtualStorePath(Platform& platform) {
  char folder[kTextAreaSize];
  uint32_t length = platform.GetLongPathNameA(HostFolder, folder, sizeof folder);
  if (length == 0 || length >= sizeof folder || !IsVirtualized(platform, folder)) return nullptr;
  char localAppData[kTextAreaSize];
  length = platform.GetEnvironmentVariableA("LOCALAPPDATA", localAppData, sizeof localAppData);
  if (length == 0 || length >= sizeof localAppData) return nullptr;
  char* store = JoinText(localAppData, "\\VirtualStore", folder + 2);
  if (store == nullptr) return nullptr;
  char* path = JoinText(store, "\\torvix.ini");
  FreeText(store);
  return path;
}

}  // namespace

void ReadHostVersion(Platform& platform) {
  // A path cut short could name another file, so both are composed at any length.
  ReadVersionFrom(platform, JoinText(HostFolder, "\\torvix.ini"), HostVersion);
  // An old host that runs without administrator rights reads the VirtualStore copy in
  // preference to the file in its folder, but the copy freezes at the version the host
  // had when it last ran so: run elevated, or updated, it reads and writes the folder's
  // file. Whichever of the two sorts later, as the gate compares, is the host's version.
  char copy[sizeof HostVersion];
  ReadVersionFrom(platform, VirtualStorePath(platform), copy);
  if (SortsBefore(HostVersion, copy)) CopyText(HostVersion, copy);
}

void CheckHostVersion(Platform& platform) {
  if (!SortsBefore(HostVersion, kMinimumVersion)) return;

  if (HostVersion[0] == '\0') {
    CopyText(MessageText, kVersionUnknown);
  } else {
    CopyText(MessageText, kVersionTooOld);
    AppendText(MessageText, HostVersion);
    AppendText(MessageText, kVersionTooOldSite);
    AppendText(MessageText, VendorSite);
  }
  platform.ShowMessageBox(MessageText, kVersionCaption, kStyleError);
  platform.EndRun();
}
