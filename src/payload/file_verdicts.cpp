#include "payload/file_verdicts.h"

bool IsBriefHold(FileError error, uint32_t attributes) {
  if (error == FileError::kSharing) return true;
  return error == FileError::kAccessDenied && attributes != kNoAttributes &&
         (attributes & (kAttributeReadOnly | kAttributeDirectory)) == 0;
}

bool IsLink(const FileFacts& facts) {
  // IsReparseTagNameSurrogate: the tag's name-surrogate bit.
  return (facts.attributes & kAttributeReparsePoint) != 0 &&
         (facts.reparseTag & kReparseTagNameSurrogate) != 0;
}

bool IsPlainFile(const FileFacts& facts) {
  return (facts.attributes & kAttributeDirectory) == 0 && !IsLink(facts) && facts.links == 1;
}

bool IsReadOnly(uint32_t attributes) {
  return attributes != kNoAttributes && (attributes & kAttributeReadOnly) != 0;
}

bool IsDirectory(uint32_t attributes) {
  return attributes != kNoAttributes && (attributes & kAttributeDirectory) != 0;
}
