/* Planted under the names of system DLLs: whatever process loads it appends its program,
 * a tab and the marker's path to C:\planted-loads.txt. Needs kernel32 alone, no runtime. */
#include <windows.h>

BOOL WINAPI MarkerMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char line[2 * MAX_PATH + 4];
  DWORD length = GetModuleFileNameA(NULL, line, MAX_PATH);
  line[length++] = '\t';
  length += GetModuleFileNameA(self, line + length, MAX_PATH);
  line[length++] = '\r';
  line[length++] = '\n';
  HANDLE record =
      CreateFileA("C:\\planted-loads.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (record != INVALID_HANDLE_VALUE) {
    DWORD written;
    WriteFile(record, line, length, &written, NULL);
    CloseHandle(record);
  }
  return TRUE;
}
