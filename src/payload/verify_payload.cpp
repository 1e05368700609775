#include "payload/verify_payload.h"

#include "payload/crc32.h"
#include "payload/payload_resource.h"

namespace {

// The stored records, after their own checksum has been checked.
struct ChecksumRecords {
  const unsigned char* bytes;
  uint32_t count;
};

ChecksumRecords LoadChecksums(Platform& platform) {
  PayloadResource sums = LoadPayloadResource(platform, kChecksumResource);
  if (sums.size < kChecksumTrailerSize ||
      (sums.size - kChecksumTrailerSize) % kChecksumRecordSize != 0) {
    ReportMalformedResource(platform, kChecksumResource);
  }
  size_t recordBytes = static_cast<size_t>(sums.size - kChecksumTrailerSize);
  if (Crc32(sums.bytes, recordBytes) != ReadLittleEndian32(sums.bytes + recordBytes)) {
    ReportDamagedResource(platform, kChecksumResource);
  }
  return {sums.bytes, static_cast<uint32_t>(recordBytes / kChecksumRecordSize)};
}

// True when the resource has the size and the checksum of record number index.
bool Matches(const PayloadResource& resource, const ChecksumRecords& records, uint32_t index) {
  const unsigned char* record = records.bytes + index * kChecksumRecordSize;
  return resource.size >= 0 && static_cast<uint32_t>(resource.size) == ReadLittleEndian32(record) &&
         Crc32(resource.bytes, static_cast<size_t>(resource.size)) ==
             ReadLittleEndian32(record + 4);
}

// Checks the named resource when it is present; an absent one is not damaged.
void VerifyResource(Platform& platform, const char* name, const ChecksumRecords& records,
                    uint32_t index) {
  PayloadResource resource = {};
  if (!platform.FindPayloadResource(name, resource)) return;
  if (!Matches(resource, records, index)) ReportDamagedResource(platform, name);
}

}  // namespace

void VerifyPayload(Platform& platform) {
  ChecksumRecords records = LoadChecksums(platform);
  if (records.count == 0) ReportMalformedResource(platform, kChecksumResource);

  PayloadResource files = {};
  if (!platform.FindPayloadResource(kCountResource, files)) return;
  if (!Matches(files, records, 0)) ReportDamagedResource(platform, kCountResource);
  if (files.size < 1) return;  // malformed: the extraction says so

  // Each entry has a NAME, a TIME and a DATA record after the one of FILES.
  uint32_t count = files.bytes[0];
  if (records.count != 1 + kEntryKindCount * count) {
    ReportMalformedResource(platform, kChecksumResource);
  }
  uint32_t index = 1;
  for (unsigned entry = 1; entry <= count; ++entry) {
    for (unsigned kind = 0; kind < kEntryKindCount; ++kind) {
      VerifyResource(platform, EntryResourceName(static_cast<EntryKind>(kind), entry).text, records,
                     index++);
    }
  }
}
