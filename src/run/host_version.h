#pragma once

#include "platform/platform.h"

// Reads the Version entry of the host's settings file into HostVersion (at most two
// characters; empty when it cannot be read). When the file in the host folder gives
// none, the copy Windows keeps in the user's VirtualStore is read instead.
void ReadHostVersion(Platform& platform);

// Returns when HostVersion does not sort before "41"; otherwise tells the user why
// and ends the run.
void CheckHostVersion(Platform& platform);
