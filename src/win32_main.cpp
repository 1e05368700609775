// The program's entry point, which joins the Win32 side of the platform seam to the
// run: the runtime has started; the installer takes over and ends the process
// itself. The command line is not read.
#include <windows.h>

#include "platform/win32_libraries.h"
#include "platform/win32_platform.h"
#include "run/run_installer.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // A path on a drive without its medium (an empty card reader named in WIN.INI or
  // picked in the dialog) fails like any other instead of raising the system's "There
  // is no disk in the drive" box in the middle of the run.
  SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Before anything loads a DLL by name.
  RestrictDllSearch();
  RunInstaller(TheWin32Platform());
}
