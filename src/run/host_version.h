#pragma once

#include "platform/platform.h"

// Reads the Version entry of the host's settings file into HostVersion (at most two
// characters; empty when it cannot be read). The copy Windows keeps in the user's
// VirtualStore comes first; when it gives none, the file in the host folder.
void ReadHostVersion(Platform& platform);

// Returns when HostVersion does not sort before "41"; otherwise tells the user why
// and ends the run.
void CheckHostVersion(Platform& platform);
