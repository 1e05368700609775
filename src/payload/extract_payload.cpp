#include "payload/extract_payload.h"

#include "common/global_areas.h"
#include "common/messages.h"
#include "common/text.h"
#include "payload/host_folder.h"
#include "payload/install_entry.h"
#include "payload/payload_resource.h"
#include "payload/reclaim_leftovers.h"
#include "payload/temporary_names.h"
#include "payload/verify_payload.h"

namespace {

// A name must end inside its resource and be a bare file name: not empty, no folder
// part, not "." or "..", so that nothing is ever written outside the folder; and none
// of the installer's temporary names, whose entries it writes and reclaims itself.
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
  if (IsSameIgnoringCase(name, ".") || IsSameIgnoringCase(name, "..")) return false;
  for (const char* temporary : kTemporaryNames) {
    if (IsSameIgnoringCase(name, temporary)) return false;
  }
  return true;
}

// Looks the entry's three resources up, in order. nullptr when all of them can be used;
// else what is wrong with the first that cannot (kResourceNotFound or
// kResourceMalformed), its name in faulty.
const char* LoadEntry(Platform& platform, unsigned index, PayloadEntry& entry,
                      char (&faulty)[kLongestEntryResourceName + 1]) {
  PayloadResource found[3] = {};
  const EntryKind kinds[3] = {kEntryName, kEntryTime, kEntryData};
  for (int i = 0; i < 3; ++i) {
    EntryResourceName name(kinds[i], index);
    CopyText(faulty, name.text);
    if (!platform.FindPayloadResource(name.text, found[i])) return kResourceNotFound;
    bool usable = i == 0   ? IsSafeName(found[i])
                  : i == 1 ? found[i].size >= kStampSize
                           : found[i].size >= 0;
    if (!usable) return kResourceMalformed;
  }
  entry.name = reinterpret_cast<const char*>(found[0].bytes);
  entry.stamp = ReadLittleEndian32(found[1].bytes);
  entry.data = found[2];
  return nullptr;
}

}  // namespace

void ExtractPayload(Platform& platform, const char* folder) {
  // Nothing is written unless every resource present is as the build made it.
  VerifyPayload(platform);
  PayloadResource files = LoadPayloadResource(platform, kCountResource);
  if (files.size < 1) ReportMalformedResource(platform, kCountResource);
  unsigned count = files.bytes[0];

  // Held from here until the last file is in place, and let go before any box.
  HeldFolder held;
  HoldHostFolder(platform, folder, held);
  ReclaimLeftovers(platform, held);
  for (unsigned index = 1; index <= count; ++index) {
    PayloadEntry entry;
    char faulty[kLongestEntryResourceName + 1];
    if (const char* fault = LoadEntry(platform, index, entry, faulty)) {
      ReleaseHostFolder(platform, held);
      ReportResourceFault(platform, faulty, fault);
    }
    if (!InstallEntry(platform, held, entry)) {
      ReleaseHostFolder(platform, held);
      CopyText(MessageText, entry.name);
      AppendText(MessageText, kEntryFailed);
      platform.ShowMessageBox(MessageText, kEntryFailedCaption, kStyleError);
      platform.EndRun();
    }
  }
  ReleaseHostFolder(platform, held);
}
