// The DLLs preloaded from the system folder where the DLL search cannot be restricted
// (RestrictDllSearch), and the preload itself: declared apart so that the planting
// tests' probe can take that road on any system and name the list.
#pragma once

// Loads, from the system folder by full path, every DLL that the message boxes and the
// open-file dialog load by name.
void PreloadUserInterfaceLibraries();
constexpr unsigned kUserInterfaceLibraryCount = 24;
extern const char* const kUserInterfaceLibraries[kUserInterfaceLibraryCount];
