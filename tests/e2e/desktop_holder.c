/* Holds Wine's desktop for as long as it runs, as Windows always has one: Wine starts
 * its desktop process for the first program that uses user32 and ends it about a
 * second after the last one has gone. The tests keep one up in each Wine prefix they
 * reuse, so that no run starts the desktop (and no run can meet one that failed to
 * start); the benchmark keeps one up so that every contender finds it as the others do.
 * It prints READY once a window can be made, and exits with 1 when none can. */
#include <stdio.h>
#include <windows.h>

int main(void) {
  HWND probe = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
  if (probe == NULL) return 1;
  DestroyWindow(probe);
  puts("READY");
  fflush(stdout);
  Sleep(INFINITE);
  return 0;
}
