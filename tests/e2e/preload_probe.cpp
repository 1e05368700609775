// Takes the installer's road for Windows without SetDefaultDllDirectories (the preload,
// then user32 and comdlg32 by full path) and prints where each DLL of the list came from:
//   LOADED<TAB>name<TAB>path    or    ABSENT<TAB>name;   with --names only the list.
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "platform/win32_libraries.h"
#include "platform/win32_preload.h"

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "--names") == 0) {
    for (const char* name : kUserInterfaceLibraries) puts(name);
    return 0;
  }
  PreloadUserInterfaceLibraries();
  LoadSystemLibrary("user32.dll");
  LoadSystemLibrary("comdlg32.dll");
  for (const char* name : kUserInterfaceLibraries) {
    HMODULE module = GetModuleHandleA(name);
    char path[MAX_PATH + 1] = "";
    if (module == nullptr) {
      printf("ABSENT\t%s\n", name);
    } else {
      GetModuleFileNameA(module, path, MAX_PATH);
      printf("LOADED\t%s\t%s\n", name, path);
    }
  }
  char system[MAX_PATH + 1] = "";
  GetSystemDirectoryA(system, MAX_PATH);
  printf("SYSTEM\t%s\n", system);
  return 0;
}
