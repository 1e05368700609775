#include "payload/install_entry.h"

#include <stdlib.h>
#include <string.h>

#include "payload/brief_hold.h"
#include "payload/file_verdicts.h"
#include "payload/host_folder.h"
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

// The attributes a replacement takes over from the file it replaces, as Windows'
// ReplaceFile keeps them: hidden, system and archive; normal when it had none of them.
uint32_t KeptAttributes(uint32_t attributes) {
  uint32_t kept = attributes == kNoAttributes
                      ? 0
                      : attributes & (kAttributeHidden | kAttributeSystem | kAttributeArchive);
  return kept != 0 ? kept : kAttributeNormal;
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
bool HoldsSameBytes(Platform& platform, FileHandle file, int64_t size,
                    const PayloadResource& data) {
  if (size != data.size) return false;
  unsigned char* buffer = static_cast<unsigned char*>(malloc(kPieceSize));
  if (buffer == nullptr) return false;
  bool same = true;
  for (int32_t offset = 0; same && offset < data.size; offset += kPieceSize) {
    int32_t piece = data.size - offset < kPieceSize ? data.size - offset : kPieceSize;
    same = ReadPiece(platform, file, buffer, piece) &&
           memcmp(buffer, data.bytes + offset, static_cast<size_t>(piece)) == 0;
  }
  free(buffer);
  return same;
}

// Moves the open copy over the target: with POSIX semantics where the system offers
// them, which replace even a target that others have open with delete sharing; after
// any failure of that, once as every Windows since Vista does (FileRenameInfo), whose
// answer alone counts. FileRenameInfoEx is answered with an invalid parameter before
// Windows 10 1607 and under Wine, and a file system may refuse the POSIX semantics in
// ways of its own (exFAT's ERROR_FILE_SYSTEM_LIMITATION, say).
FileError MoveCopy(Platform& platform, FileHandle copy, const HeldFolder& folder,
                   const char* name) {
  if (platform.MoveOpenFile(copy, folder.handle, name, MoveSemantics::kPosix) == FileError::kNone) {
    return FileError::kNone;
  }
  return platform.MoveOpenFile(copy, folder.handle, name, MoveSemantics::kClassic);
}

// True when the copy is on the disk: flushed, or on a file system that does not implement
// flushing (a redirector that answers "invalid function"), where nothing more can be done.
bool IsOnDisk(FileError flushed) {
  return flushed == FileError::kNone || flushed == FileError::kUnsupported;
}

// Replaces an existing target by a complete copy, written beside it under a temporary
// name, stamped, given the target's attributes and written through to the disk, then
// moved over it through its still open handle, so that a failure never destroys the
// target and the copy is never opened by name again. The target is replaced as a
// name: a link there is never written through. A brief hold of the target is waited
// out. False when any step fails; the copy is then removed through its handle and the
// target is as it was.
bool ReplaceEntry(Platform& platform, const HeldFolder& folder, const PayloadEntry& entry,
                  uint32_t attributes, BriefHold& hold) {
  FileHandle copy = kNoFile;
  const char* copyName = nullptr;
  for (const char* name : kTemporaryNames) {
    // Only ever created new. Whatever still holds the name (a link someone planted,
    // anything the reclaiming of leftovers kept) is neither opened nor removed here.
    FileError error;
    copy = platform.CreateOutputFile(folder.handle, name, error);
    copyName = name;
    if (copy != kNoFile) break;
  }
  if (copy == kNoFile) return false;
  bool replaced = IsInHeldFolder(platform, folder, copy, copyName) &&
                  WriteEntry(platform, copy, entry.data) &&
                  platform.StampWriteTime(copy, entry.stamp) &&
                  platform.SetFileAttributesByHandle(copy, KeptAttributes(attributes));
  if (replaced) replaced = IsOnDisk(platform.FlushOutputFile(copy));
  if (replaced) {
    FileError moved;
    while ((moved = MoveCopy(platform, copy, folder, entry.name)) != FileError::kNone &&
           IsBriefHold(moved, platform.GetFileAttributesInFolder(folder.handle, entry.name)) &&
           hold.WaitBeforeRetry()) {
    }
    replaced = moved == FileError::kNone;
  }
  if (replaced) {
    platform.CloseOutputFile(copy);
  } else {
    // Where even the removal through the handle fails, the copy stays under its
    // temporary name until the next run reclaims it.
    platform.DeleteAndCloseFile(copy);
  }
  return replaced;
}

// An entry that is already there. A folder, or a read-only file, is never changed, and
// fails at once; so does one that the system places anywhere but in the held folder
// under its name, which is left alone. A file that already holds the entry's bytes only
// gets its time, so that a repair writes no data. Any other is replaced whole. A brief
// hold of it is waited out.
bool UpdateExistingEntry(Platform& platform, const HeldFolder& folder, const PayloadEntry& entry) {
  BriefHold hold(platform);
  FileError error;
  FileHandle file;
  while ((file = platform.OpenExistingFile(folder.handle, entry.name, ExistingAccess::kReadAndStamp,
                                           error)) == kNoFile &&
         IsBriefHold(error, platform.GetFileAttributesInFolder(folder.handle, entry.name)) &&
         hold.WaitBeforeRetry()) {
  }
  bool same = false;
  bool stamped = false;
  FileFacts facts = {kNoAttributes, 0, 0, 0};
  if (file != kNoFile) {
    if (!IsInHeldFolder(platform, folder, file, entry.name)) {
      platform.CloseOutputFile(file);
      return false;
    }
    if (platform.QueryOpenFile(file, facts)) {
      same = !IsReadOnly(facts.attributes) && IsPlainFile(facts) &&
             HoldsSameBytes(platform, file, facts.size, entry.data);
    }
    // A time that cannot be set leaves the file as it was, and says so.
    if (same) stamped = platform.StampWriteTime(file, entry.stamp);
    platform.CloseOutputFile(file);
  }
  uint32_t attributes = facts.attributes != kNoAttributes
                            ? facts.attributes
                            : platform.GetFileAttributesInFolder(folder.handle, entry.name);
  if (IsReadOnly(attributes) || IsDirectory(attributes)) return false;
  if (same) return stamped;
  return ReplaceEntry(platform, folder, entry, attributes, hold);
}

// A file that was not there: created in place, filled and stamped; on failure removed
// through its handle, so that nothing else can be removed in its place. Where even
// that removal fails, the next run finds the file there and replaces it whole. A file
// that the system places anywhere but in the held folder under its name is removed at
// once, unwritten.
bool FillNewFile(Platform& platform, const HeldFolder& folder, FileHandle file,
                 const PayloadEntry& entry) {
  if (!IsInHeldFolder(platform, folder, file, entry.name) ||
      !WriteEntry(platform, file, entry.data) || !platform.StampWriteTime(file, entry.stamp)) {
    platform.DeleteAndCloseFile(file);
    return false;
  }
  platform.CloseOutputFile(file);
  return true;
}

}  // namespace

bool InstallEntry(Platform& platform, const HeldFolder& folder, const PayloadEntry& entry) {
  // Nothing is made in a folder that could not be held.
  if (folder.handle == kNoFile) return false;
  FileError error;
  FileHandle file = platform.CreateOutputFile(folder.handle, entry.name, error);
  return file != kNoFile ? FillNewFile(platform, folder, file, entry)
                         : UpdateExistingEntry(platform, folder, entry);
}
