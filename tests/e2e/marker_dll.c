/* A marker DLL for the planting tests: copied under the names of system DLLs into the
 * folders a planted DLL would come from. Whatever process loads it appends a line
 * to C:\planted-loads.txt: that process's program, a tab, the marker's own path. It
 * needs nothing but kernel32 and runs no runtime start-up of its own. */
#include <windows.h>

BOOL WINAPI MarkerMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  char line[2 * MAX_PATH + 4];
  DWORD length;
  DWORD written;
  HANDLE record;
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  length = GetModuleFileNameA(NULL, line, MAX_PATH);
  line[length++] = '\t';
  length += GetModuleFileNameA(self, line + length, MAX_PATH);
  line[length++] = '\r';
  line[length++] = '\n';
  record =
      CreateFileA("C:\\planted-loads.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (record != INVALID_HANDLE_VALUE) {
    WriteFile(record, line, length, &written, NULL);
    CloseHandle(record);
  }
  return TRUE;
}
