#include "payload/reclaim_leftovers.h"

#include "common/text.h"
#include "payload/file_verdicts.h"
#include "payload/temporary_names.h"

namespace {

// Removes the entry at path when it is a plain file that may be removed. False when
// something stays there.
bool Reclaim(Platform& platform, const char* path) {
  FileError error;
  // Opened as itself where it is a link, with delete access only: nothing is read or
  // written through this handle.
  FileHandle file = platform.OpenExistingFile(path, ExistingAccess::kRemove, error);
  if (file == kNoFile) return error == FileError::kNotFound;
  FileFacts facts;
  if (platform.QueryOpenFile(file, path, facts) && IsPlainFile(facts) &&
      !IsReadOnly(facts.attributes)) {
    return platform.DeleteAndCloseFile(file);
  }
  platform.CloseOutputFile(file);
  return false;
}

}  // namespace

void ReclaimLeftovers(Platform& platform, const char* folder) {
  for (const char* name : kTemporaryNames) {
    char* path = JoinText(folder, "\\", name);
    if (path == nullptr) return;
    // What stays takes its name out of use for this run; the copies go to the others.
    Reclaim(platform, path);
    FreeText(path);
  }
}
