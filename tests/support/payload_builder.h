// Builds the resource set of a payload inside the fake platform.
#pragma once

#include <string>
#include <vector>

#include "payload/resource_layout.h"
#include "support/fake_platform.h"

struct PayloadFile {
  std::string name;
  Bytes bytes;
  uint32_t stamp;
};

// The stamps of this build's two files.
constexpr uint32_t kTlxStamp = 0x22266D97;  // 1997-01-06 13:44:46
constexpr uint32_t kClxStamp = 0x277E8898;  // 1999-11-30 17:04:48

// Deterministic bytes that differ from one seed to the next.
Bytes PatternBytes(size_t size, unsigned seed);

// Sets FILES, NAMEnnn, TIMEnnn and DATAnnn for the files, in order, and SUMS for them.
void SetPayload(FakePlatform& platform, const std::vector<PayloadFile>& files);

// The SUMS resource the build would store for the resources now present, with records
// for FILES and for count entries (an absent resource gets size 0 and checksum 0).
Bytes ChecksumsOf(const FakePlatform& platform, unsigned count);

// Sets SUMS to match the resources now present, for tests that change a resource and
// want the installer to meet it, not the damage check.
void SealPayload(FakePlatform& platform, unsigned count);

// This build's payload: LXWEPB.TLX (8,385 bytes) and LXWEPB2.CLX (310,992 bytes).
std::vector<PayloadFile> ThisBuildsPayload();

// A host folder that passes the host check and the version gate.
void SetUpHost(FakePlatform& platform, const std::string& folder,
               const std::string& version = "45");

// The suffix of an entry's resources (001), and the name of one of them (NAME001).
std::string Suffix(unsigned index);
std::string EntryResource(EntryKind kind, unsigned index);
