#include "payload/extract_payload.h"

#include "common/text.h"
#include "payload/pad_number.h"
#include "payload/payload_resource.h"
#include "run/run_state.h"

namespace {

// Each write reads straight from the resource bytes, at most this many at a time.
constexpr int32_t kPieceSize = 32768;

// A file that already exists is replaced only by a complete copy, written under
// this name beside it, so that a failure never destroys a good file. The name is no
// longer than the host program's, so its path fits wherever the host was found.
const char kTemporaryName[] = "~setup.tmp";

struct PayloadEntry {
  const char* name;  // points into the NAME resource, zero-terminated there
  uint32_t stamp;
  PayloadResource data;
};

// The name of an entry's resource: prefix + suffix, for instance NAME001.
struct ResourceName {
  char text[8];
  ResourceName(const char* prefix, const char* suffix) {
    CopyText(text, prefix);
    AppendText(text, suffix);
  }
};

PayloadResource LoadIndexedResource(Platform& platform, const char* prefix, const char* suffix) {
  return LoadPayloadResource(platform, ResourceName(prefix, suffix).text);
}

[[noreturn]] void ReportMalformed(Platform& platform, const char* prefix, const char* suffix) {
  ReportMalformedResource(platform, ResourceName(prefix, suffix).text);
}

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
  return !IsSameName(name, ".") && !IsSameName(name, "..") && !IsSameName(name, kTemporaryName);
}

PayloadEntry LoadEntry(Platform& platform, unsigned index) {
  char suffix[4];
  PadNumber(index, "0", 3, suffix);

  PayloadEntry entry;
  PayloadResource name = LoadIndexedResource(platform, "NAME", suffix);
  if (!IsSafeName(name)) ReportMalformed(platform, "NAME", suffix);
  entry.name = reinterpret_cast<const char*>(name.bytes);

  PayloadResource time = LoadIndexedResource(platform, "TIME", suffix);
  if (time.size < 4) ReportMalformed(platform, "TIME", suffix);
  const unsigned char* t = time.bytes;
  entry.stamp = static_cast<uint32_t>(t[0]) | static_cast<uint32_t>(t[1]) << 8 |
                static_cast<uint32_t>(t[2]) << 16 | static_cast<uint32_t>(t[3]) << 24;

  entry.data = LoadIndexedResource(platform, "DATA", suffix);
  if (entry.data.size < 0) ReportMalformed(platform, "DATA", suffix);
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

// Writes the entry, stamps and closes it. A new file is written in place; an
// existing one is replaced only by a complete copy, written beside it first. False
// when any step fails; what was written is then gone and the target is as it was.
bool InstallEntry(Platform& platform, const char* target, const char* temporary,
                  const PayloadEntry& entry) {
  const char* path = target;
  OutputFile file = platform.CreateNewOutputFile(target);
  if (file == kNoFile) {
    path = temporary;
    file = platform.CreateOutputFile(temporary);
  }
  bool written = WriteEntry(platform, file, entry.data);
  if (written) platform.StampWriteTime(file, entry.stamp);
  platform.CloseOutputFile(file);
  if (written && (path == target || platform.ReplaceOutputFile(temporary, target))) return true;
  if (file != kNoFile) platform.DeleteOutputFile(path);
  return false;
}

}  // namespace

void ExtractPayload(Platform& platform, const char* folder) {
  PayloadResource files = LoadPayloadResource(platform, "FILES");
  if (files.size < 1) ReportMalformedResource(platform, "FILES");
  unsigned count = files.bytes[0];

  for (unsigned index = 1; index <= count; ++index) {
    PayloadEntry entry = LoadEntry(platform, index);

    char* target = JoinText(folder, "\\", entry.name);
    char* temporary = JoinText(folder, "\\", kTemporaryName);
    bool installed = target != nullptr && temporary != nullptr &&
                     InstallEntry(platform, target, temporary, entry);
    FreeText(temporary);
    FreeText(target);

    if (!installed) {
      CopyText(MessageText, entry.name);
      AppendText(MessageText, " could not be created.");
      platform.ShowMessageBox(MessageText, "Fatal error", kStyleError);
      platform.EndRun();
    }
  }
}
