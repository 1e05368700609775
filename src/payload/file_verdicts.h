// What the extraction makes of the facts the platform reports about a file: the
// decisions live here, where the unit tests reach them, not below the seam.
#pragma once

#include "platform/platform.h"

// True when a failure is another program's brief hold: a sharing or lock violation, or
// access denied on an entry (its attributes given) that is neither read-only nor a
// directory. An antivirus scanner or the search indexer opens a file that was just
// written, or is about to be replaced, for a moment and without delete sharing; an open
// of it, or a move over it, then fails although it would succeed a little later. Access
// denied on a read-only file or a folder, a missing entry, and every other failure will
// not end by itself.
bool IsBriefHold(FileError error, uint32_t attributes);

// A reparse point whose tag says it stands for another name (a symbolic link, a
// junction, and their kin): never written or stamped through. Other reparse points
// (deduplicated files, files compressed by the system, cloud placeholders) hold their
// own data and are files like any other.
constexpr uint32_t kReparseTagNameSurrogate = 0x20000000;
bool IsLink(const FileFacts& facts);

// A file of this one name, neither a directory nor a link: its time may be set in place,
// and it may be removed through its handle, once the system has said where it is
// (host_folder.h).
bool IsPlainFile(const FileFacts& facts);

bool IsReadOnly(uint32_t attributes);
bool IsDirectory(uint32_t attributes);
