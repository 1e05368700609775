#include "run/host_folder_entry.h"

#include <string.h>

#include "common/global_areas.h"
#include "common/host_facts.h"
#include "common/text.h"
#include "run/virtual_store.h"

namespace {

// True when the real WIN.INI has the key. The default stands for a missing key, so the
// default's text is asked again without one: a missing key then gives nothing.
bool HasHostEntry(Platform& platform) {
  if (strcmp(HostFolder, kDefaultHostFolder) != 0) return true;
  char present[2];
  platform.GetProfileStringA(kHostSection, kHostKey, "", present, sizeof present);
  return present[0] != '\0';
}

}  // namespace

void ReadHostFolderEntry(Platform& platform) {
  platform.GetProfileStringA(kHostSection, kHostKey, kDefaultHostFolder, HostFolder,
                             sizeof HostFolder);
  if (HasHostEntry(platform)) return;
  char windows[kTextAreaSize];
  uint32_t length = platform.GetEnvironmentVariableA("SystemRoot", windows, sizeof windows);
  if (length == 0 || length >= sizeof windows) return;
  char* winIni = JoinText(windows, "\\", kWinIniFile);
  if (winIni == nullptr) return;
  char* copies[2];
  FindVirtualStoreCopies(platform, winIni, copies);
  FreeText(winIni);
  // The first copy that names a folder; an empty value names none.
  char folder[kTextAreaSize] = "";
  for (char* copy : copies) {
    if (copy != nullptr && folder[0] == '\0') {
      platform.GetPrivateProfileStringA(kHostSection, kHostKey, "", folder, sizeof folder, copy);
    }
    FreeText(copy);
  }
  if (folder[0] != '\0') CopyText(HostFolder, folder);
}
