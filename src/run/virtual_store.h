// Where Windows keeps what an old host wrote without administrator rights into a protected
// folder, and the host then reads in preference to the real file (Microsoft Learn, "How
// User Account Control works": virtualization): the user's local application data,
// VirtualStore, then the file's long path without its drive. Two users' copies count: the
// running account's, and the signed-in user's where that is another (a standard user who
// elevated with an administrator's password runs the installer as that administrator). No
// other profile is read, so that no other local account decides for the whole machine.
#pragma once

#include "common/text.h"
#include "platform/platform.h"

// The long path of folder, short 8.3 names expanded, in area, so that the copy of the real
// folder is found, never one under a folder literally named like the short name; empty
// when Windows does not virtualize the folder.
void VirtualizedFolder(Platform& platform, const char* folder, char (&area)[kTextAreaSize]);

// The copies of file (a long path in a virtualized folder): the running account's first,
// then the signed-in user's, each composed at any length and freed with FreeText; nullptr
// where there is none.
void FindVirtualStoreCopies(Platform& platform, const char* file, char* (&copies)[2]);
