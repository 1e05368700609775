/* Holds Wine's desktop while it runs, as Windows always has one (Wine ends it a second
 * after the last program that used it), so that no run starts it or meets one that failed
 * to; prints READY once a window can be made, exits 1 when none can. With --shell its
 * window stands for the session's shell (GetShellWindow), as Explorer's does on Windows. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

/* Exported by user32 since Windows NT 4; not in every header. */
__declspec(dllimport) BOOL WINAPI SetShellWindow(HWND window);

int main(int argc, char** argv) {
  int shell = argc > 1 && strcmp(argv[1], "--shell") == 0;
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
  if (window == NULL) return 1;
  if (!shell) {
    DestroyWindow(window);
  } else if (!SetShellWindow(window)) {
    return 1;
  }
  puts("READY");
  fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
