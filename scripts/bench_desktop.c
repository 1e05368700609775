/* Holds Wine's desktop for the benchmark, as Windows always has one: Wine starts its
 * desktop process for the first program that uses user32 and ends it about a second
 * after the last one has gone, so without this whichever installer ran second would
 * find it up and the first might not. Runs until it is stopped. */
#include <windows.h>

int main(void) {
  GetDesktopWindow(); /* starts the desktop process where it is not up */
  Sleep(INFINITE);
  return 0;
}
