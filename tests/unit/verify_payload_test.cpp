// The damage check before the extraction: every resource present is checked against
// the size and checksum the build stored, in lookup order, before anything is written.
#include "payload/verify_payload.h"

#include <gtest/gtest.h>

#include <string>

#include "common/messages.h"
#include "support/expect_box.h"
#include "support/payload_builder.h"
#include "support/runs.h"

namespace {

// Older copies of this build's files, which a refused run must leave as they are.
const Bytes kOldTlx = PatternBytes(5000, 21);
const Bytes kOldClx = PatternBytes(90000, 22);

void AddOldFiles(FakePlatform& platform) {
  platform.AddFile(InFolder("LXWEPB.TLX"), kOldTlx).stamp = 1;
  platform.AddFile(InFolder("LXWEPB2.CLX"), kOldClx).stamp = 2;
}

// The run refused with the box that names the resource, and nothing was created, removed
// or stamped: the disk is as it was.
void ExpectRefusedUntouched(const FakePlatform& platform, const std::string& resource,
                            const char* fault, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_TRUE(platform.ended);
  ExpectOneErrorBox(platform, kResourceCaption, ResourceFault(resource, fault));
  EXPECT_EQ(platform.Calls("Create").size() + platform.Calls("Delete").size() +
                platform.Calls("StampWriteTime").size(),
            0u);
  FakePlatform before;
  AddOldFiles(before);
  EXPECT_TRUE(DiskOf(platform) == DiskOf(before));
}

// One bit flipped anywhere, or a size that differs, is damage; of several damaged
// resources the first in lookup order is named.
TEST(VerifyPayload, DamageAnywhereChangesNothing) {
  const size_t kMiddle = SIZE_MAX;
  const size_t kLonger = SIZE_MAX - 1;  // one byte added
  // Damages each resource at byte (its bit 1 flips), and expects the first one named.
  auto check = [&](const std::vector<std::string>& damaged, size_t byte) {
    FakePlatform platform;
    AddOldFiles(platform);
    SetPayload(platform, ThisBuildsPayload());
    for (const std::string& name : damaged) {
      Bytes bytes = *platform.Resource(name);
      const size_t at = byte == kMiddle ? bytes.size() / 2 : byte;
      if (byte == kLonger) {
        bytes.push_back(0);
      } else {
        bytes[at] = static_cast<unsigned char>(bytes[at] ^ 2);
      }
      platform.SetResource(name, bytes);
    }

    Extract(platform);

    ExpectRefusedUntouched(platform, damaged[0], kResourceDamaged,
                           damaged.back() + " byte " + std::to_string(byte));
  };
  // FILES byte 0: its 2 becomes 0, which would install nothing and report success.
  const std::pair<const char*, size_t> alone[] = {
      {"FILES", 0},         {"FILES", 1},         {"NAME001", 3},    {"TIME001", 0},
      {"TIME001", 3},       {"DATA001", 0},       {"NAME002", 10},   {"TIME002", 2},
      {"DATA002", kMiddle}, {"SUMS", 0},          {"SUMS", kMiddle}, {"DATA002", kLonger},
      {"NAME001", kLonger}, {"TIME002", kLonger},
  };
  for (const auto& c : alone) check({c.first}, c.second);
  check({"FILES", "DATA002"}, 0);
  check({"DATA001", "NAME002"}, 0);
  check({"NAME001", "DATA001", "TIME001"}, 0);
  check({"TIME002", "DATA002"}, 0);
}

TEST(VerifyPayload, TheChecksumsThemselvesMissingOrMalformed) {
  struct Case {
    const char* what;
    bool present;
    size_t size;  // of the damaged SUMS, resealed so that its own checksum holds
    const char* fault;
  };
  const Case cases[] = {
      {"missing", false, 0, kResourceNotFound},
      {"no bytes", true, 0, kResourceMalformed},
      {"not whole records", true, 9, kResourceMalformed},
      {"no record at all", true, 4, kResourceMalformed},
      {"records for one entry only", true, 4 * 8 + 4, kResourceMalformed},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    AddOldFiles(platform);
    SetPayload(platform, ThisBuildsPayload());
    if (!c.present) {
      platform.RemoveResource("SUMS");
    } else if (c.size == 4 * 8 + 4) {
      platform.SetResource("SUMS", ChecksumsOf(platform, 1));
    } else {
      Bytes sums = *platform.Resource("SUMS");
      sums.resize(c.size);
      if (c.size == 4) sums = {0, 0, 0, 0};  // the checksum of no records is 0
      platform.SetResource("SUMS", sums);
    }

    Extract(platform);

    ExpectRefusedUntouched(platform, "SUMS", c.fault, c.what);
  });
}

TEST(VerifyPayload, ResourcesAreCheckedInPlaceBeforeTheFirstFile) {
  FakePlatform platform;
  SetPayload(platform, ThisBuildsPayload());

  Extract(platform);

  EXPECT_FALSE(platform.ended);
  // Every resource is looked up for the check before the first file is created.
  std::vector<std::string> lookups;
  for (const std::string& call : platform.calls) {
    if (call.rfind("Create", 0) == 0) break;
    if (call.rfind("FindPayloadResource ", 0) == 0) lookups.push_back(call.substr(20));
  }
  std::vector<std::string> expected = {"SUMS",    "FILES",   "NAME001", "TIME001",
                                       "DATA001", "NAME002", "TIME002", "DATA002",
                                       "FILES",   "NAME001", "TIME001", "DATA001"};
  EXPECT_EQ(lookups, expected);
}

}  // namespace
