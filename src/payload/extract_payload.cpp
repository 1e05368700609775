#include "payload/extract_payload.h"

#include "common/text.h"
#include "payload/payload_resource.h"
#include "payload/temporary_names.h"
#include "payload/verify_payload.h"
#include "run/run_state.h"

namespace {

// Each write reads straight from the resource bytes, at most this many at a time.
constexpr int32_t kPieceSize = 32768;

struct PayloadEntry {
  const char* name;  // points into the NAME resource, zero-terminated there
  uint32_t stamp;
  PayloadResource data;
};

char UpperCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares names as the file system does, regardless of letter case.
bool IsSameName(const char* a, const char* b) {
  while (*a != '\0' && UpperCase(*a) == UpperCase(*b)) {
    ++a;
    ++b;
  }
  return UpperCase(*a) == UpperCase(*b);
}

// A name must end inside its resource and be a bare file name: not empty, no
// folder part, not "." or "..", so that nothing is ever written outside the folder;
// and not the temporary file's name, which would replace a file with itself.
bool IsSafeName(const PayloadResource& resource) {
  const unsigned char* bytes = resource.bytes;
  int32_t length = 0;
  while (length < resource.size && bytes[length] != 0) {
    unsigned char c = bytes[length];
    if (c == '\\' || c == '/' || c == ':') return false;
    ++length;
  }
  if (length == resource.size || length == 0) return false;
  const char* name = reinterpret_cast<const char*>(bytes);
  return !IsSameName(name, ".") && !IsSameName(name, "..") && !IsSameName(name, kTemporaryNames[0]);
}

PayloadEntry LoadEntry(Platform& platform, unsigned index) {
  PayloadEntry entry;
  EntryResourceName nameResource("NAME", index);
  PayloadResource name = LoadPayloadResource(platform, nameResource.text);
  if (!IsSafeName(name)) ReportMalformedResource(platform, nameResource.text);
  entry.name = reinterpret_cast<const char*>(name.bytes);

  EntryResourceName timeResource("TIME", index);
  PayloadResource time = LoadPayloadResource(platform, timeResource.text);
  if (time.size < 4) ReportMalformedResource(platform, timeResource.text);
  entry.stamp = ReadLittleEndian32(time.bytes);

  EntryResourceName dataResource("DATA", index);
  entry.data = LoadPayloadResource(platform, dataResource.text);
  if (entry.data.size < 0) ReportMalformedResource(platform, dataResource.text);
  return entry;
}

// Writes the whole entry to an open file in pieces. False on a failed or short write.
bool WriteEntry(Platform& platform, OutputFile file, const PayloadResource& data) {
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

// Fills a file this run has just created, stamps and closes it. On a failed write
// the file is removed through its handle, so that nothing else can be removed in its
// place.
bool FillFile(Platform& platform, OutputFile file, const PayloadEntry& entry) {
  if (!WriteEntry(platform, file, entry.data)) {
    platform.DiscardOutputFile(file);
    return false;
  }
  platform.StampWriteTime(file, entry.stamp);
  platform.CloseOutputFile(file);
  return true;
}

// Replaces an existing target by a complete copy, written beside it under a
// temporary name and then moved over it, so that a failure never destroys it. The
// target is replaced as a name: a link there is never written through. False when
// any step fails; what was written is then gone and the target is as it was.
bool ReplaceEntry(Platform& platform, const char* folder, const char* target,
                  const PayloadEntry& entry) {
  for (const char* name : kTemporaryNames) {
    char* temporary = JoinText(folder, "\\", name);
    if (temporary == nullptr) return false;
    // Only ever created new. Whatever already holds the name (what an earlier run
    // left, or a link someone planted) is neither opened nor removed: removing a
    // link can act on what it points to, so the next name is tried instead.
    OutputFile file = platform.CreateNewOutputFile(temporary);
    if (file == kNoFile) {
      FreeText(temporary);
      continue;
    }
    bool replaced = FillFile(platform, file, entry);
    if (replaced && !platform.ReplaceOutputFile(temporary, target)) {
      platform.DeleteOutputFile(temporary);  // created and closed by this run just now
      replaced = false;
    }
    FreeText(temporary);
    return replaced;
  }
  return false;
}

// Writes the entry, stamps and closes it. A file that is not there yet is created in
// place; one that is there is replaced through a complete copy.
bool InstallEntry(Platform& platform, const char* folder, const PayloadEntry& entry) {
  char* target = JoinText(folder, "\\", entry.name);
  if (target == nullptr) return false;
  OutputFile file = platform.CreateNewOutputFile(target);
  bool installed = file != kNoFile ? FillFile(platform, file, entry)
                                   : ReplaceEntry(platform, folder, target, entry);
  FreeText(target);
  return installed;
}

}  // namespace

void ExtractPayload(Platform& platform, const char* folder) {
  // Nothing is written unless every resource present is as the build made it.
  VerifyPayload(platform);

  PayloadResource files = LoadPayloadResource(platform, "FILES");
  if (files.size < 1) ReportMalformedResource(platform, "FILES");
  unsigned count = files.bytes[0];

  for (unsigned index = 1; index <= count; ++index) {
    PayloadEntry entry = LoadEntry(platform, index);
    if (!InstallEntry(platform, folder, entry)) {
      CopyText(MessageText, entry.name);
      AppendText(MessageText, " could not be created.");
      platform.ShowMessageBox(MessageText, "Fatal error", kStyleError);
      platform.EndRun();
    }
  }
}
