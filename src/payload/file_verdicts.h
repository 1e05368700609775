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

// A file of this one name, neither a directory nor a link, that the system names by the
// path it was opened by: its time may be set in place, and it may be removed through
// its handle. Wine opens what a symbolic link points to and reports it as a plain file,
// but names it by where it really is.
bool IsPlainFile(const FileFacts& facts);

bool IsReadOnly(uint32_t attributes);
bool IsDirectory(uint32_t attributes);
