/* Holds Wine's desktop for as long as it runs, as Windows always has one: Wine starts
 * its desktop process for the first program that uses user32 and ends it about a
 * second after the last one has gone. The tests keep one up in each Wine prefix they
 * reuse, so that no run starts the desktop (and no run can meet one that failed to
 * start); the benchmark keeps one up so that every contender finds it as the others do.
 * It prints READY once a window can be made, and exits with 1 when none can.
 *
 * With --shell its window stands for the session's shell, as Explorer's does on Windows
 * (Wine's desktop has none): GetShellWindow then names it, and its process. */
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
