#include "run/host_version.h"

#include "common/text.h"
#include "run/run_state.h"

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

}  // namespace

void ReadHostVersion(Platform& platform) {
  CopyText(HostVersion, "");
  // Composed at any length: a path cut short could name another file.
  char* path = JoinText(HostFolder, "\\torvix.ini");
  if (path != nullptr) {
    platform.GetPrivateProfileStringA("Common", "Version", "", HostVersion, sizeof HostVersion,
                                      path);
  }
  FreeText(path);
}

void CheckHostVersion(Platform& platform) {
  if (!SortsBefore(HostVersion, kMinimumVersion)) return;

  if (HostVersion[0] == '\0') {
    CopyText(MessageText, "Your Torvix version could not be determined.\r\r");
    AppendText(MessageText, "If you have just now installed it, you need to first run it once ");
    AppendText(MessageText, "and then run this program again.");
  } else {
    CopyText(MessageText, "Torvix version must be 41 or newer.\rYour version is ");
    AppendText(MessageText, HostVersion);
    AppendText(MessageText, ".\r\rYou can download the newest Torvix version from ");
    AppendText(MessageText, VendorSite);
  }
  platform.ShowMessageBox(MessageText, "Error", kStyleError);
  platform.EndRun();
}
