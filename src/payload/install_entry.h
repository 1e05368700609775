#pragma once

#include "payload/host_folder.h"
#include "platform/platform.h"

// One carried file, as its resources give it.
struct PayloadEntry {
  const char* name;  // points into the NAME resource, zero-terminated there
  uint32_t stamp;    // packed local DOS date and time
  PayloadResource data;
};

// Each write and each comparison takes at most this many bytes at a time.
constexpr int32_t kPieceSize = 32768;

// Puts the entry into folder with its stamp. A file that is not there yet is
// created in place. One that is there is refused when it is read-only, only stamped
// when it already holds exactly the entry's bytes, and otherwise replaced by a
// complete copy that is on the disk before it takes the name. Every file opened or
// created is checked to be in the held folder under its name. False when the file
// could not be created; whatever was there is then as it was.
bool InstallEntry(Platform& platform, const HeldFolder& folder, const PayloadEntry& entry);
