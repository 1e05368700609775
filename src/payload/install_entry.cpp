#include "payload/install_entry.h"

#include <stdlib.h>
#include <string.h>

#include "common/text.h"
#include "payload/brief_hold.h"
#include "payload/temporary_names.h"

namespace {

// Writes the whole entry to an open file in pieces. False on a failed or short write.
bool WriteEntry(Platform& platform, FileHandle file, const PayloadResource& data) {
  int32_t remaining = data.size;
  int32_t offset = 0;
  do {
    int32_t piece = remaining >= kPieceSize ? kPieceSize : remaining;
    if (platform.WriteOutputFile(file, data.bytes + offset, piece) != piece) return false;
    remaining -= piece;
    offset += piece;
  } while (remaining != 0);
  return true;
}

// Fills a file this run has just created, stamps and closes it; a replacement copy
// is also written through to the disk first, so that the name it is moved to never
// holds less than a whole file. On failure the file is removed through its handle,
// so that nothing else can be removed in its place.
bool FillFile(Platform& platform, FileHandle file, const PayloadEntry& entry, bool durable) {
  bool filled = WriteEntry(platform, file, entry.data);
  if (filled) platform.StampWriteTime(file, entry.stamp);
  if (filled && durable) filled = platform.FlushOutputFile(file);
  if (!filled) {
    platform.DiscardOutputFile(file);
    return false;
  }
  platform.CloseOutputFile(file);
  return true;
}

// Reads exactly count bytes. False at the end of the file or on failure.
bool ReadPiece(Platform& platform, FileHandle file, unsigned char* buffer, int32_t count) {
  while (count > 0) {
    int32_t read = platform.ReadExistingFile(file, buffer, count);
    if (read <= 0) return false;
    buffer += read;
    count -= read;
  }
  return true;
}

// True when the open file holds exactly the entry's bytes: the same size, then the
// same bytes, read piece by piece and compared with the mapped resource in place.
bool HoldsSameBytes(Platform& platform, const ExistingFile& existing, const PayloadResource& data) {
  if (existing.size != data.size) return false;
  unsigned char* buffer = static_cast<unsigned char*>(malloc(kPieceSize));
  if (buffer == nullptr) return false;
  bool same = true;
  for (int32_t offset = 0; same && offset < data.size; offset += kPieceSize) {
    int32_t piece = data.size - offset < kPieceSize ? data.size - offset : kPieceSize;
    same = ReadPiece(platform, existing.file, buffer, piece) &&
           memcmp(buffer, data.bytes + offset, static_cast<size_t>(piece)) == 0;
  }
  free(buffer);
  return same;
}

// Removes the temporary copy that this run created and closed, waiting out a brief
// hold of its own.
void DeleteTemporary(Platform& platform, const char* temporary) {
  BriefHold hold(platform);
  FileOutcome deleted;
  do {
    deleted = platform.DeleteOutputFile(temporary);
  } while (deleted != FileOutcome::kDone && hold.WaitedOut(deleted));
}

// Replaces an existing target by a complete copy, written beside it under a
// temporary name and then moved over it, so that a failure never destroys it. The
// target is replaced as a name: a link there is never written through. A brief hold
// of the target or the copy is waited out. False when any step fails; what was
// written is then gone and the target is as it was.
bool ReplaceEntry(Platform& platform, const char* folder, const char* target,
                  const PayloadEntry& entry, BriefHold& hold) {
  for (const char* name : kTemporaryNames) {
    char* temporary = JoinText(folder, "\\", name);
    if (temporary == nullptr) return false;
    // Only ever created new. Whatever already holds the name (what an earlier run
    // left, a link someone planted, a copy still held while it is deleted) is neither
    // opened nor removed: removing a link can act on what it points to, so the next
    // name is tried instead.
    FileHandle file = platform.CreateNewOutputFile(temporary);
    if (file == kNoFile) {
      FreeText(temporary);
      continue;
    }
    bool replaced = FillFile(platform, file, entry, true);
    if (replaced) {
      FileOutcome moved;
      do {
        moved = platform.ReplaceOutputFile(temporary, target);
      } while (moved != FileOutcome::kDone && hold.WaitedOut(moved));
      replaced = moved == FileOutcome::kDone;
      if (!replaced) DeleteTemporary(platform, temporary);
    }
    FreeText(temporary);
    return replaced;
  }
  return false;
}

// A file that is already there. A read-only one is never changed. One that already
// holds the entry's bytes only gets its time, so that a repair writes no data. Any
// other is replaced whole. A brief hold of it is waited out.
bool UpdateExistingEntry(Platform& platform, const char* folder, const char* target,
                         const PayloadEntry& entry) {
  BriefHold hold(platform);
  ExistingFile existing = platform.OpenExistingFile(target);
  while (existing.held && hold.WaitedOut(FileOutcome::kHeld)) {
    existing = platform.OpenExistingFile(target);
  }
  bool same = false;
  if (existing.file != kNoFile) {
    same = !existing.readOnly && existing.plain && HoldsSameBytes(platform, existing, entry.data);
    if (same) platform.StampWriteTime(existing.file, entry.stamp);
    platform.CloseOutputFile(existing.file);
  }
  if (existing.readOnly) return false;
  return same || ReplaceEntry(platform, folder, target, entry, hold);
}

}  // namespace

bool InstallEntry(Platform& platform, const char* folder, const PayloadEntry& entry) {
  char* target = JoinText(folder, "\\", entry.name);
  if (target == nullptr) return false;
  FileHandle file = platform.CreateNewOutputFile(target);
  bool installed = file != kNoFile ? FillFile(platform, file, entry, false)
                                   : UpdateExistingEntry(platform, folder, target, entry);
  FreeText(target);
  return installed;
}
