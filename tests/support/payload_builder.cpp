#include "support/payload_builder.h"

#include <cstdio>

#include "payload/crc32.h"
#include "payload/resource_layout.h"

namespace {

void AppendLittleEndian(Bytes& bytes, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<unsigned char>(value >> shift));
}

}  // namespace

Bytes PatternBytes(size_t size, unsigned seed) {
  Bytes bytes(size);
  uint32_t state = 2166136261u ^ seed;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<unsigned char>(state >> 24);
  }
  return bytes;
}

std::string Suffix(unsigned index) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", static_cast<int>(kIndexDigits), index);
  return text;
}

std::string EntryResource(EntryKind kind, unsigned index) {
  return kEntryKindNames[kind] + Suffix(index);
}

void SetPayload(FakePlatform& platform, const std::vector<PayloadFile>& files) {
  platform.SetResource(kCountResource, {static_cast<unsigned char>(files.size()), 0});
  for (size_t i = 0; i < files.size(); ++i) {
    unsigned index = static_cast<unsigned>(i + 1);
    Bytes name(files[i].name.begin(), files[i].name.end());
    name.push_back(0);
    Bytes time;
    AppendLittleEndian(time, files[i].stamp);
    platform.SetResource(EntryResource(kEntryName, index), name);
    platform.SetResource(EntryResource(kEntryTime, index), time);
    platform.SetResource(EntryResource(kEntryData, index), files[i].bytes);
  }
  SealPayload(platform, static_cast<unsigned>(files.size()));
}

Bytes ChecksumsOf(const FakePlatform& platform, unsigned count) {
  std::vector<std::string> names = {kCountResource};
  for (unsigned i = 1; i <= count; ++i) {
    for (unsigned kind = 0; kind < kEntryKindCount; ++kind) {
      names.push_back(EntryResource(static_cast<EntryKind>(kind), i));
    }
  }
  Bytes sums;
  for (const std::string& name : names) {
    const Bytes* bytes = platform.Resource(name);
    AppendLittleEndian(sums, bytes == nullptr ? 0 : static_cast<uint32_t>(bytes->size()));
    AppendLittleEndian(sums, bytes == nullptr ? 0 : Crc32(bytes->data(), bytes->size()));
  }
  AppendLittleEndian(sums, Crc32(sums.data(), sums.size()));
  return sums;
}

void SealPayload(FakePlatform& platform, unsigned count) {
  platform.SetResource(kChecksumResource, ChecksumsOf(platform, count));
}

std::vector<PayloadFile> ThisBuildsPayload() {
  return {{"LXWEPB.TLX", PatternBytes(8385, 1), kTlxStamp},
          {"LXWEPB2.CLX", PatternBytes(310992, 2), kClxStamp}};
}

void SetUpHost(FakePlatform& platform, const std::string& folder, const std::string& version) {
  platform.AddFile(folder + "\\torvixx.exe", PatternBytes(100, 9));
  platform.SetSetting(folder + "\\torvix.ini", "Common", "Version", version);
}
