#include "payload/host_folder.h"

#include "common/text.h"
#include "payload/brief_hold.h"
#include "payload/file_verdicts.h"

namespace {

// The upper case of a UTF-16 unit, as an ordinal comparison regardless of case takes it
// (CompareStringOrdinal): the letters of every Windows ANSI code page that have a case,
// Latin, Greek and Cyrillic. Others compare as they are.
char16_t UpperUnit(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
    return static_cast<char16_t>(c - 0x20);
  }
  if (c == 0xFF) return 0x178;
  if (c == 0x192) return 0x191;  // the hooked f of Windows-1252
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs: upper even, lower odd; but 0x139-0x148 and 0x179-0x17E the other way.
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    bool lower = oddUpper ? (c % 2 == 0) : (c % 2 == 1);
    return lower ? static_cast<char16_t>(c - 1) : c;
  }
  if ((c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
    return static_cast<char16_t>(c - 0x20);
  }
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

// The length of the part of text that equals prefix, regardless of case; 0 unless all of
// prefix matches.
size_t MatchedPrefix(const char16_t* text, const char16_t* prefix) {
  size_t length = 0;
  while (prefix[length] != 0) {
    if (UpperUnit(text[length]) != UpperUnit(prefix[length])) return 0;
    ++length;
  }
  return length;
}

}  // namespace

bool IsNamedInFolder(const char16_t* folderName, const char16_t* fileName, const char16_t* name) {
  if (folderName[0] == 0 || name[0] == 0) return false;
  size_t folder = MatchedPrefix(fileName, folderName);
  if (folder == 0) return false;
  // One separator between them: a root's name ends in it already.
  if (folderName[folder - 1] != u'\\') {
    if (fileName[folder] != u'\\') return false;
    ++folder;
  }
  const char16_t* rest = fileName + folder;
  size_t length = MatchedPrefix(rest, name);
  return length != 0 && rest[length] == 0;
}

void HoldHostFolder(Platform& platform, const char* folder, HeldFolder& held) {
  held.handle = kNoFile;
  held.naming = kPathNamings[0];
  held.name[0] = 0;
  // Followed by "\\", so that a drive named alone ("C:") means its root.
  char* path = JoinText(folder, "\\");
  if (path == nullptr) return;
  // Another program holding the folder for a moment with delete access (a rename, a sync
  // client) is waited out, as for the files.
  BriefHold hold(platform);
  FileError error;
  while ((held.handle = platform.OpenHostFolder(path, error)) == kNoFile &&
         IsBriefHold(error, kNoAttributes) && hold.WaitBeforeRetry()) {
  }
  FreeText(path);
  if (held.handle == kNoFile) return;
  for (PathNaming naming : kPathNamings) {
    if (platform.GetFinalPathName(held.handle, naming, held.name, kFinalNameSize) != 0) {
      held.naming = naming;
      return;
    }
  }
}

void ReleaseHostFolder(Platform& platform, HeldFolder& folder) {
  if (folder.handle != kNoFile) platform.CloseOutputFile(folder.handle);
  folder.handle = kNoFile;
}

bool IsInHeldFolder(Platform& platform, const HeldFolder& folder, FileHandle file,
                    const char* name) {
  if (folder.handle == kNoFile || file == kNoFile) return false;
  char16_t wideName[kTextAreaSize];
  if (platform.WidenName(name, wideName, kTextAreaSize) == 0) return false;
  char16_t folderName[kFinalNameSize];
  char16_t fileName[kFinalNameSize];
  for (PathNaming naming : kPathNamings) {
    // The name asked when the folder was taken, or, in a later naming, asked now.
    bool asked = folder.name[0] != 0 && naming == folder.naming;
    if ((asked ||
         platform.GetFinalPathName(folder.handle, naming, folderName, kFinalNameSize) != 0) &&
        platform.GetFinalPathName(file, naming, fileName, kFinalNameSize) != 0) {
      return IsNamedInFolder(asked ? folder.name : folderName, fileName, wideName);
    }
  }
  return false;
}
