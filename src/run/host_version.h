#pragma once

#include "platform/platform.h"

// Reads the Version entry of the host's settings file into HostVersion (at most two
// characters; empty when it cannot be read): the file in the host folder, or the copy
// Windows keeps of it in the user's VirtualStore when the folder is a protected one and
// the copy's version sorts later.
void ReadHostVersion(Platform& platform);

// Returns when HostVersion does not sort before the minimum version; otherwise tells the
// user why and ends the run.
void CheckHostVersion(Platform& platform);
