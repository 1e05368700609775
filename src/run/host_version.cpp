#include "run/host_version.h"

#include "common/global_areas.h"
#include "common/host_facts.h"
#include "common/messages.h"
#include "common/text.h"
#include "run/virtual_store.h"

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
  VirtualizedFolder(platform, HostFolder, folder);
  if (folder[0] == '\0') return;
  char* settings = JoinText(folder, "\\", kSettingsFile);
  if (settings == nullptr) return;
  char* copies[2];
  FindVirtualStoreCopies(platform, settings, copies);
  FreeText(settings);
  for (char* copy : copies) {
    if (copy != nullptr) ConsiderCopy(platform, copy);
  }
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
