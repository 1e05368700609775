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
// freed here) into HostVersion. False when it gives none.
bool ReadVersionFrom(Platform& platform, char* path) {
  CopyText(HostVersion, "");
  if (path != nullptr) {
    platform.GetPrivateProfileStringA("Common", "Version", "", HostVersion, sizeof HostVersion,
                                      path);
  }
  FreeText(path);
  return HostVersion[0] != '\0';
}

bool StartsWithDrive(const char* folder) {
  bool letter = (folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z');
  return letter && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '\0');
}

// Where Windows keeps the settings file of an old host that wrote it without
// administrator rights into a protected folder: the user's
// %LOCALAPPDATA%\VirtualStore, then the folder's path without its drive. nullptr
// when the folder has no drive letter or the path cannot be composed.
char* VirtualStorePath(Platform& platform) {
  if (!StartsWithDrive(HostFolder)) return nullptr;
  char localAppData[kTextAreaSize];
  uint32_t length =
      platform.GetEnvironmentVariableA("LOCALAPPDATA", localAppData, sizeof localAppData);
  if (length == 0 || length >= sizeof localAppData) return nullptr;
  char* store = JoinText(localAppData, "\\VirtualStore", HostFolder + 2);
  if (store == nullptr) return nullptr;
  char* path = JoinText(store, "\\torvix.ini");
  FreeText(store);
  return path;
}

}  // namespace

void ReadHostVersion(Platform& platform) {
  // A path cut short could name another file, so both are composed at any length.
  // An old host that runs without administrator rights sees the VirtualStore copy in
  // preference to the file in its folder, so that copy, when it gives a version, is
  // the one the host uses; the folder's may be what the host's installer left.
  if (ReadVersionFrom(platform, VirtualStorePath(platform))) return;
  ReadVersionFrom(platform, JoinText(HostFolder, "\\torvix.ini"));
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
