#include "run/locate_host_folder.h"

#include <string.h>

#include "common/global_areas.h"
#include "common/host_facts.h"
#include "common/messages.h"
#include "common/text.h"

namespace {

// 88 bytes in the 32-bit program, as the Win32 side checks when it is built.
constexpr uint32_t kOpenFileRecordSize = sizeof(OpenFileRecord);
// OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY
constexpr uint32_t kDialogFlags = 0x1000 | 0x8 | 0x4;

char DialogFileName[kTextAreaSize];
OpenFileRecord Dialog;

void PrepareDialog() {
  CopyText(DialogFileName, kHostProgram);
  memset(&Dialog, 0, sizeof Dialog);
  Dialog.lStructSize = kOpenFileRecordSize;
  Dialog.lpstrFilter = kLocateDialogFilter;
  Dialog.lpstrFile = DialogFileName;
  Dialog.nMaxFile = sizeof DialogFileName;
  Dialog.lpstrInitialDir = HostFolder;
  Dialog.lpstrTitle = kLocateDialogTitle;
  Dialog.Flags = kDialogFlags;
}

// The last "\" or ":" in path, where a byte that is the second byte of a double-byte
// character does not count; nullptr when there is none.
const char* FindLastSeparator(Platform& platform, const char* path) {
  const char* last = nullptr;
  for (const char* p = path; *p != '\0'; ++p) {
    if (platform.IsLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0') {
      ++p;  // the trail byte is part of the character, whatever its value
    } else if (*p == '\\' || *p == ':') {
      last = p;
    }
  }
  return last;
}

// Puts the folder of the chosen file, without its final separator, in HostFolder.
// False when the path names no folder.
bool TakeChosenFolder(Platform& platform) {
  const char* separator = FindLastSeparator(platform, DialogFileName);
  if (separator == nullptr) return false;
  CopyText(HostFolder, DialogFileName);
  HostFolder[separator - DialogFileName] = '\0';
  return true;
}

}  // namespace

bool ProbeHostFile(Platform& platform, const char* fileName) {
  char* path = JoinText(HostFolder, "\\", fileName);
  bool found = path != nullptr && platform.ProbeFile(path);
  FreeText(path);
  return found;
}

void LocateHostFolder(Platform& platform) {
  bool found = false;
  while (!found) {
    int answer = platform.ShowMessageBox(kLocatePrompt, kLocatePromptCaption, kStyleOkCancel);
    if (answer == kAnswerCancel) platform.EndRun();
    bool promptShown = answer == kAnswerOk;

    PrepareDialog();
    if (!platform.GetOpenFileNameA(Dialog)) {
      // Where neither the prompt nor the dialog can be shown, asking again would
      // repeat without end.
      if (!promptShown) platform.EndRun();
      continue;
    }
    found = TakeChosenFolder(platform) && ProbeHostFile(platform, kHostProgram);
  }
  platform.WriteProfileStringA(kHostSection, kHostKey, HostFolder);
}
