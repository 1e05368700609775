// The DLLs preloaded from the system folder where the DLL search cannot be restricted
// (RestrictDllSearch), and the preload itself: declared apart so that the planting
// tests' probe can take that road on any system and name the list.
#pragma once

// Loads, from the system folder by full path, every DLL that the message boxes and the
// open-file dialog load by name.
void PreloadUserInterfaceLibraries();
// Its length follows from the list.
inline constexpr const char* kUserInterfaceLibraries[] = {
    // The names come from Wine's loader trace of the boxes, the open-file dialog and the
    // session user's profile lookup, and from public advisories and other installers'
    // defences for Windows' own DLLs on the same roads (apphelp, clbcatq, cryptbase,
    // dwmapi, ntmarta, oleacc, propsys, setupapi, userenv, winsta). Those that others
    // load come first, so that whatever loads them later by name, a DLL of this list
    // among them, finds them already in the process: ntmarta, which advapi32 loads by
    // name for its access-control functions (a known planting target on Windows 7
    // without KB2533623), before advapi32; winsta, which wtsapi32 imports, before it.
    "imm32.dll",    "version.dll", "uxtheme.dll", "dwmapi.dll",   "msimg32.dll",  "cryptbase.dll",
    "apphelp.dll",  "userenv.dll", "propsys.dll", "oleacc.dll",   "clbcatq.dll",  "sechost.dll",
    "rpcrt4.dll",   "combase.dll", "ntmarta.dll", "advapi32.dll", "gdi32.dll",    "ole32.dll",
    "setupapi.dll", "shlwapi.dll", "shcore.dll",  "compstui.dll", "winspool.drv", "shell32.dll",
    "winsta.dll",   "wtsapi32.dll"};
