#include "run/host_version.h"

#include "common/global_areas.h"
#include "common/host_facts.h"
#include "common/messages.h"
#include "common/text.h"

namespace {

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
    platform.GetPrivateProfileStringA(kSettingsSection, kSettingsKey, "", version, sizeof version,
                                      path);
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

// The folder's long path, short 8.3 names expanded, so that the copy of the real folder
// is found, never one under a folder literally named like the short name; empty when
// the folder is not virtualized.
void VirtualizedFolder(Platform& platform, char (&folder)[kTextAreaSize]) {
  uint32_t length = platform.GetLongPathNameA(HostFolder, folder, sizeof folder);
  if (length == 0 || length >= sizeof folder || !IsVirtualized(platform, folder)) {
    CopyText(folder, "");
  }
}

// Where Windows keeps the settings file of an old host that wrote it without
// administrator rights into the protected folder: the user's local application data
// (localAppData), VirtualStore, then the folder's long path without its drive. nullptr
// when the path cannot be composed.
char* VirtualStorePath(const char* localAppData, const char* folder) {
  char* store = JoinText(localAppData, "\\VirtualStore", folder + 2);
  if (store == nullptr) return nullptr;
  char* path = JoinText(store, "\\", kSettingsFile);
  FreeText(store);
  return path;
}

// Takes the version of the copy at path (freed here) when it sorts later.
void ConsiderCopy(Platform& platform, char* path) {
  char copy[sizeof HostVersion];
  ReadVersionFrom(platform, path, copy);
  if (SortsBefore(HostVersion, copy)) CopyText(HostVersion, copy);
}

}  // namespace

void ReadHostVersion(Platform& platform) {
  // A path cut short could name another file, so each is composed at any length.
  ReadVersionFrom(platform, JoinText(HostFolder, "\\", kSettingsFile), HostVersion);
  // An old host that runs without administrator rights reads the VirtualStore copy in
  // preference to the file in its folder, but the copy freezes at the version the host
  // had when it last ran so: run elevated, or updated, it reads and writes the folder's
  // file. Whichever sorts later, as the gate compares, is the host's version.
  char folder[kTextAreaSize];
  VirtualizedFolder(platform, folder);
  if (folder[0] == '\0') return;
  char runs[kTextAreaSize];
  uint32_t length = platform.GetEnvironmentVariableA("LOCALAPPDATA", runs, sizeof runs);
  if (length == 0 || length >= sizeof runs) CopyText(runs, "");
  if (runs[0] != '\0') ConsiderCopy(platform, VirtualStorePath(runs, folder));
  // A standard user who elevated with an administrator's password runs the installer as
  // that administrator, whose VirtualStore is not the one the host sees: the signed-in
  // user's copy counts too. No other profile is read, so that no other local account
  // decides the gate for the whole machine.
  // Its local application data is where a profile keeps it, under AppData\Local.
  char profile[kTextAreaSize];
  length = platform.GetSessionUserProfile(profile, sizeof profile);
  if (length == 0 || length >= sizeof profile) return;
  char* sessions = JoinText(profile, "\\AppData\\Local");
  if (sessions != nullptr && !IsSameIgnoringCase(sessions, runs)) {
    ConsiderCopy(platform, VirtualStorePath(sessions, folder));
  }
  FreeText(sessions);
}

void CheckHostVersion(Platform& platform) {
  if (!SortsBefore(HostVersion, kMinimumVersion)) return;

  // A message of one fixed piece goes to the box as it is.
  const char* message = kVersionUnknown;
  if (HostVersion[0] != '\0') {
    CopyText(MessageText, kVersionTooOld);
    AppendText(MessageText, HostVersion);
    AppendText(MessageText, kVersionTooOldSite);
    AppendText(MessageText, VendorSite);
    message = MessageText;
  }
  platform.ShowMessageBox(message, kVersionCaption, kStyleError);
  platform.EndRun();
}
