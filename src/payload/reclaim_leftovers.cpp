#include "payload/reclaim_leftovers.h"

#include "payload/file_verdicts.h"
#include "payload/host_folder.h"
#include "payload/temporary_names.h"

namespace {

// Removes the entry of that name when it is a plain file in the held folder that may be
// removed. False when something stays there.
bool Reclaim(Platform& platform, const HeldFolder& folder, const char* name) {
  FileError error;
  // Opened as itself where it is a link, with delete access only: nothing is read or
  // written through this handle.
  FileHandle file = platform.OpenExistingFile(folder.handle, name, ExistingAccess::kRemove, error);
  if (file == kNoFile) return error == FileError::kNotFound;
  FileFacts facts;
  if (IsInHeldFolder(platform, folder, file, name) && platform.QueryOpenFile(file, facts) &&
      IsPlainFile(facts) && !IsReadOnly(facts.attributes)) {
    return platform.DeleteAndCloseFile(file);
  }
  platform.CloseOutputFile(file);
  return false;
}

}  // namespace

void ReclaimLeftovers(Platform& platform, const HeldFolder& folder) {
  if (folder.handle == kNoFile) return;
  // What stays takes its name out of use for this run; the copies go to the others.
  for (const char* name : kTemporaryNames) Reclaim(platform, folder, name);
}
