#pragma once

#include "payload/host_folder.h"
#include "platform/platform.h"

// Removes what an interrupted run left under the temporary names in folder (killed, or
// cut off by a power failure, after its copy was created): without it, four interrupted
// upgrades would take every name for good. Only a plain file is removed, through the
// handle that found it to be one; a folder, a link, a file with several names or a
// read-only one stays as it is and is never written through, and so does anything the
// system places anywhere but in the held folder under that name.
void ReclaimLeftovers(Platform& platform, const HeldFolder& folder);
