// Where the host recorded its folder: WIN.INI's entry, read into HostFolder.
#pragma once

#include "platform/platform.h"

// Fills HostFolder from WIN.INI's Torvix= entry of the Applications section; where the
// real WIN.INI has no such key, from the VirtualStore copy of WIN.INI that an old host
// running without administrator rights wrote instead (the running account's, then the
// signed-in user's); else the default folder. A key that is present but empty gives an
// empty HostFolder.
void ReadHostFolderEntry(Platform& platform);
