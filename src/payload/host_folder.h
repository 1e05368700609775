// The host folder, held for the extraction: opened once, as its path leads at the start,
// so that neither it nor a folder above it can be renamed while files are written into
// it; and the check that a file opened or created by a path in it is really there.
#pragma once

#include "platform/platform.h"

// Room for the longest name the system gives of a host path: the 256-character folder
// and a name, under "\\?\UNC\" or a volume's GUID name.
constexpr uint32_t kFinalNameSize = 1024;

struct HeldFolder {
  FileHandle handle;  // kNoFile when the folder could not be opened: nothing is in it
  // The folder's name in the first naming the system gave, asked once for the run:
  // a name does not change while the folder is held.
  PathNaming naming;
  char16_t name[kFinalNameSize];
};

// Opens and holds folder (the HostFolder text, a root when it names a drive alone), and
// asks the system's name of it.
void HoldHostFolder(Platform& platform, const char* folder, HeldFolder& held);
void ReleaseHostFolder(Platform& platform, HeldFolder& folder);

// True when the system names the open file as the held folder joined with name: the
// same naming of both handles, the normalized one first, then the one they were opened
// by, then the volume's GUID one, where a share or a driver cannot give the first.
bool IsInHeldFolder(Platform& platform, const HeldFolder& folder, FileHandle file,
                    const char* name);

// True when fileName is folderName joined with name by one "\" (a root's name already
// ends in one), compared ordinally and regardless of letter case, as the file system
// compares names.
bool IsNamedInFolder(const char16_t* folderName, const char16_t* fileName, const char16_t* name);
