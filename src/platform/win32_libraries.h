// Where the installer's DLLs come from: the system folder only, never the folder it
// was started from (usually Downloads, full of other people's files) nor the current
// folder.
#pragma once

#include <windows.h>

// Restricts the process's DLL search to the system folder and takes the current
// folder out of it. Called first, before any DLL other than kernel32 is loaded.
// Windows 7 and Vista without update KB2533623 cannot restrict the search: the DLLs
// that user32 and comdlg32 load by name would still be looked for in the program's
// folder first, so they are preloaded from the system folder instead.
void RestrictDllSearch();

// Loads a DLL from the system folder and nowhere else; nullptr when it cannot.
HMODULE LoadSystemLibrary(const char* name);

// The named function of module as a pointer of type Function; nullptr when the
// module or the function is missing.
template <typename Function>
Function FunctionOf(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  FARPROC function = GetProcAddress(module, name);
  // Through the generic function type, which converts to any other without warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(function));
}

// A function of a system DLL, loaded on first use and kept; nullptr when the DLL or
// the function is missing. Aggregate-initialized, so a global needs no constructor.
template <typename Function>
struct SystemFunction {
  const char* library;
  const char* name;
  Function function;
  bool loaded;

  Function Get() {
    if (!loaded) {
      function = FunctionOf<Function>(LoadSystemLibrary(library), name);
      loaded = true;
    }
    return function;
  }
};
