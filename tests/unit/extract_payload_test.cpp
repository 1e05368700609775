#include "payload/extract_payload.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/expect_box.h"
#include "support/payload_builder.h"
#include "support/runs.h"

namespace {

// Nothing but the named files is in the folder: no temporary file is left behind.
void ExpectOnly(const FakePlatform& platform, std::vector<std::string> names) {
  std::set<std::string> expected, present;
  for (const std::string& name : names) expected.insert(Upper(InFolder(name)));
  for (const std::string& path : platform.Paths()) present.insert(Upper(path));
  EXPECT_EQ(present, expected);
}

TEST(ExtractPayload, WritesInPiecesOfAtMost32768Bytes) {
  struct Case {
    const char* what;
    size_t size;
    std::vector<int32_t> pieces;
  };
  std::vector<int32_t> clx(9, 32768);
  clx.push_back(16080);
  const Case cases[] = {
      {"empty", 0, {0}},
      {"one byte", 1, {1}},
      {"this build's word list", 8385, {8385}},
      {"one piece exactly", 32768, {32768}},
      {"a byte more", 32769, {32768, 1}},
      {"two pieces exactly", 65536, {32768, 32768}},
      {"this build's lexicon", 310992, clx},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    Bytes bytes = PatternBytes(c.size, 7);
    SetPayload(platform, {{"FILE.BIN", bytes, kTlxStamp}});

    Extract(platform);

    EXPECT_FALSE(platform.ended);
    std::vector<int32_t> pieces;
    for (const Write& write : platform.Writes()) pieces.push_back(write.count);
    EXPECT_EQ(pieces, c.pieces);
    const FakeEntry* file = platform.File(InFolder("FILE.BIN"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->bytes, bytes);
    EXPECT_EQ(file->stamp, kTlxStamp);
    ExpectOnly(platform, {"FILE.BIN"});
  });
}

TEST(ExtractPayload, OnlyTheFirstByteOfFilesCounts) {
  FakePlatform platform;
  SetPayload(platform, ThisBuildsPayload());
  platform.SetResource("FILES", {2, 0, 9, 9});
  SealPayload(platform, 2);

  Extract(platform);

  ExpectOnly(platform, {"LXWEPB.TLX", "LXWEPB2.CLX"});
}

TEST(ExtractPayload, TwoHundredFiftyFiveEntries) {
  FakePlatform platform;
  std::vector<PayloadFile> files;
  for (unsigned i = 1; i <= 255; ++i) {
    files.push_back({"F" + std::to_string(i) + ".DAT", PatternBytes(i, i), kClxStamp});
  }
  SetPayload(platform, files);

  Extract(platform);

  EXPECT_FALSE(platform.ended);
  EXPECT_EQ(platform.Paths().size(), 255u);
  const std::vector<std::string> lookups = platform.Calls("FindPayloadResource");
  ASSERT_GE(lookups.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lookups.end() - 3, lookups.end()),
            (std::vector<std::string>{"FindPayloadResource NAME255", "FindPayloadResource TIME255",
                                      "FindPayloadResource DATA255"}));
  EXPECT_EQ(platform.File(InFolder("F255.DAT"))->bytes, PatternBytes(255, 255));
}

TEST(ExtractPayload, ReplacesAnExistingFileWhole) {
  FakePlatform platform;
  platform.AddFile(InFolder("lxwepb.tlx"), PatternBytes(50000, 3));
  SetPayload(platform, ThisBuildsPayload());

  Extract(platform);

  EXPECT_EQ(platform.File(InFolder("LXWEPB.TLX"))->bytes, ThisBuildsPayload()[0].bytes);
  ExpectOnly(platform, {"LXWEPB.TLX", "LXWEPB2.CLX"});
}

TEST(ExtractPayload, MissingResource) {
  struct Case {
    const char* resource;
    bool second;  // of the second entry: the first one's file stays
  };
  const Case cases[] = {{"FILES", false},   {"NAME001", false}, {"TIME001", false},
                        {"DATA001", false}, {"NAME002", true},  {"DATA002", true}};
  for (const Case& c : cases) {
    [&] {
      FakePlatform platform;
      SetPayload(platform, ThisBuildsPayload());
      platform.RemoveResource(c.resource);

      Extract(platform);

      EXPECT_TRUE(platform.ended) << c.resource;
      ExpectOneErrorBox(platform, kResourceCaption, ResourceFault(c.resource, kResourceNotFound));
      ExpectOnly(platform,
                 c.second ? std::vector<std::string>{"LXWEPB.TLX"} : std::vector<std::string>{});
    }();
  }
}

TEST(ExtractPayload, MalformedResource) {
  struct Case {
    const char* what;
    const char* resource;
    Bytes bytes;
  };
  auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  const Case cases[] = {
      {"a count of no bytes", "FILES", {}},
      {"a name without its zero byte", "NAME001", text("LXWEPB.TLX")},
      {"a name of no bytes", "NAME001", {}},
      {"an empty name", "NAME001", {0}},
      {"a name climbing out of the folder", "NAME001", text(std::string("..\\EVIL.TLX") + '\0')},
      {"a name with a slash", "NAME001", text(std::string("sub/EVIL.TLX") + '\0')},
      {"a name with a drive", "NAME001", text(std::string("D:EVIL.TLX") + '\0')},
      {"the folder itself", "NAME001", text(std::string(".") + '\0')},
      {"the parent folder", "NAME001", text(std::string("..") + '\0')},
      {"the temporary file's name", "NAME001", text(std::string("~SETUP.TMP") + '\0')},
      {"another temporary name", "NAME001", text(std::string("~setup.tm1") + '\0')},
      {"the last temporary name", "NAME001", text(std::string("~Setup.Tm3") + '\0')},
      {"a time of three bytes", "TIME001", {0x97, 0x6D, 0x26}},
      {"a second entry's name", "NAME002", text("X")},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetPayload(platform, ThisBuildsPayload());
    platform.SetResource(c.resource, c.bytes);
    SealPayload(platform, 2);

    Extract(platform);

    EXPECT_TRUE(platform.ended);
    ExpectOneErrorBox(platform, kResourceCaption, ResourceFault(c.resource, kResourceMalformed));
    bool second = std::string(c.resource).back() == '2';
    ExpectOnly(platform,
               second ? std::vector<std::string>{"LXWEPB.TLX"} : std::vector<std::string>{});
    EXPECT_EQ(platform.Calls("Create").size(), second ? 1u : 0u);
  });
}

TEST(ExtractPayload, FailureLeavesTheTargetAsItWas) {
  enum Fault { kReadOnly, kInUse, kDirectory, kDiskFull, kDiskFullAtFirstByte };
  struct Case {
    const char* what;
    Fault fault;
  };
  const Case cases[] = {
      {"a read-only file", kReadOnly},
      {"a file held open by another process", kInUse},
      {"a directory of that name", kDirectory},
      {"a disk that fills half-way", kDiskFull},
      {"a disk that is full", kDiskFullAtFirstByte},
  };
  const Bytes old = PatternBytes(400000, 5);
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetPayload(platform, ThisBuildsPayload());
    FakeEntry& target = c.fault == kDirectory ? platform.AddDirectory(InFolder("LXWEPB2.CLX"))
                                              : platform.AddFile(InFolder("LXWEPB2.CLX"), old);
    if (c.fault == kReadOnly) target.attributes = kAttributeReadOnly;
    target.inUse = c.fault == kInUse;
    if (c.fault == kDiskFull) platform.freeSpace = 8385 + 100000;
    if (c.fault == kDiskFullAtFirstByte) platform.freeSpace = 8385;
    const Disk before = DiskOf(platform);

    Extract(platform);

    ExpectRunHeld(platform, kFolder, before, ThisBuildsPayload());
    EXPECT_TRUE(platform.ended);
    ExpectOneErrorBox(platform, kEntryFailedCaption, EntryFailed("LXWEPB2.CLX"));
    const FakeEntry* after = platform.File(InFolder("LXWEPB2.CLX"));
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->directory, c.fault == kDirectory);
    EXPECT_EQ(after->bytes, c.fault == kDirectory ? Bytes() : old);
    EXPECT_EQ(platform.File(InFolder("LXWEPB.TLX"))->bytes, ThisBuildsPayload()[0].bytes);
    ExpectOnly(platform, {"LXWEPB.TLX", "LXWEPB2.CLX"});
    if (c.fault == kReadOnly || c.fault == kDirectory) {
      // What no wait will change fails at once, before a copy is made.
      EXPECT_TRUE(platform.Sleeps().empty());
      EXPECT_EQ(platform.Calls("CreateOutputFile " + InFolder("~")).size(), 0u);
    }
  });
}

TEST(ExtractPayload, ALongNameIsCutInTheMessage) {
  FakePlatform platform;
  std::string name(300, 'n');
  SetPayload(platform, {{name, PatternBytes(10, 1), kTlxStamp}});
  platform.pathLimit = 259;

  Extract(platform);

  ExpectOneErrorBox(platform, kEntryFailedCaption, std::string(256, 'n'));
}

TEST(ExtractPayload, NewFilesInPlaceExistingOnesThroughACompleteCopy) {
  struct Case {
    const char* what;
    bool exists;
    int64_t freeSpace;
    bool installed;
  };
  const Case cases[] = {
      {"a new file is written in place", false, -1, true},
      {"an existing file is replaced by a complete copy", true, -1, true},
      {"a new file that does not fit is removed", false, 100, false},
      {"an existing file stays when its copy does not fit", true, 100, false},
  };
  const std::string target = InFolder("LXWEPB.TLX");
  const std::string temporary = InFolder("~setup.tmp");
  const Bytes old = PatternBytes(20, 4);
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetPayload(platform, {{"LXWEPB.TLX", PatternBytes(8385, 1), kTlxStamp}});
    if (c.exists) platform.AddFile(target, old);
    platform.freeSpace = c.freeSpace;

    Extract(platform);

    // An existing file's name is refused to the create, and a copy is made beside it.
    std::vector<std::string> creates = {"CreateOutputFile " + target};
    if (c.exists) creates.push_back("CreateOutputFile " + temporary);
    EXPECT_EQ(platform.Calls("Create"), creates);
    EXPECT_EQ(platform.ended, !c.installed);
    const FakeEntry* file = platform.File(target);
    ASSERT_EQ(file != nullptr, c.installed || c.exists);
    if (file != nullptr) {
      EXPECT_EQ(file->bytes, c.installed ? PatternBytes(8385, 1) : old);
    }
    if (c.installed) {
      EXPECT_EQ(file->stamp, kTlxStamp);
    }
    EXPECT_EQ(platform.File(temporary), nullptr);
  });
}

// A plain file an interrupted run left under a temporary name is reclaimed; anything else
// there stays as it is, is never written through, and its name is passed over.
TEST(ExtractPayload, WhatHoldsATemporaryName) {
  enum Holder { kFree, kLeftover, kLink, kWineLink, kHardLink, kDirectory, kReadOnly, kElsewhere };
  struct Case {
    const char* what;
    std::vector<Holder> holders;  // of ~setup.tmp, ~setup.tm1, ... in turn
    const char* used;             // the temporary name that was written, or nullptr
  };
  const Case cases[] = {
      {"a free name", {kFree}, "~setup.tmp"},
      {"a file an interrupted run left is reclaimed", {kLeftover}, "~setup.tmp"},
      {"four left: all reclaimed", {kLeftover, kLeftover, kLeftover, kLeftover}, "~setup.tmp"},
      {"a planted link is neither followed nor removed", {kLink}, "~setup.tm1"},
      {"a link opened as what it points to (Wine) stays", {kWineLink}, "~setup.tm1"},
      {"a file with a second name stays", {kHardLink}, "~setup.tm1"},
      {"a directory: the next name", {kDirectory}, "~setup.tm1"},
      {"a read-only file: the next name", {kReadOnly}, "~setup.tm1"},
      {"a file the system names elsewhere stays", {kElsewhere}, "~setup.tm1"},
      {"a link, then a leftover reclaimed", {kLink, kLeftover}, "~setup.tm1"},
      {"every name kept: the usual box", {kDirectory, kHardLink, kLink, kReadOnly}, nullptr},
  };
  const std::vector<std::string> names = {"~setup.tmp", "~setup.tm1", "~setup.tm2", "~setup.tm3"};
  const Bytes old = PatternBytes(300, 8);
  const Bytes outside = PatternBytes(77, 9);
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetPayload(platform, {{"LXWEPB.TLX", PatternBytes(8385, 1), kTlxStamp}});
    platform.AddFile(InFolder("LXWEPB.TLX"), old);
    platform.AddFile("C:\\OUTSIDE.DAT", outside);
    for (size_t i = 0; i < c.holders.size(); ++i) {
      std::string path = InFolder(names[i]);
      switch (c.holders[i]) {
        case kFree:
          break;
        case kLeftover:
          platform.AddFile(path, Bytes(5, 1));
          break;
        case kWineLink:
          platform.linksFollowed = true;
          [[fallthrough]];
        case kLink:
          platform.AddFile(path).linkTo = "C:\\OUTSIDE.DAT";
          break;
        case kHardLink:
          platform.AddFile(path, Bytes(5, 3)).links = 2;
          break;
        case kDirectory:
          platform.AddDirectory(path);
          break;
        case kReadOnly:
          platform.AddFile(path, Bytes(5, 2)).attributes = kAttributeReadOnly;
          break;
        case kElsewhere:
          platform.AddFile(path, Bytes(5, 4));
          platform.redirected[Upper(path)] = "\\\\?\\C:\\Windows\\System32\\x.dll";
          break;
      }
    }

    Extract(platform);

    ASSERT_NE(platform.File("C:\\OUTSIDE.DAT"), nullptr);
    EXPECT_EQ(platform.File("C:\\OUTSIDE.DAT")->bytes, outside);
    std::set<std::string> written;
    for (const Write& write : platform.Writes()) written.insert(write.path);
    const bool used = c.used != nullptr;
    EXPECT_EQ(platform.ended, !used);
    EXPECT_EQ(written, used ? std::set<std::string>{InFolder(c.used)} : std::set<std::string>{});
    EXPECT_EQ(platform.File(InFolder("LXWEPB.TLX"))->bytes, used ? PatternBytes(8385, 1) : old);
    if (!used) ExpectOneErrorBox(platform, kEntryFailedCaption, EntryFailed("LXWEPB.TLX"));
    // A leftover is gone; whatever else held a name stays as it was.
    for (size_t i = 0; i < c.holders.size(); ++i) {
      const FakeEntry* holder = platform.File(InFolder(names[i]));
      if (c.holders[i] == kFree || c.holders[i] == kLeftover) {
        EXPECT_EQ(holder, nullptr) << " " << names[i];
      } else {
        ASSERT_NE(holder, nullptr) << " " << names[i];
        EXPECT_EQ(holder->linkTo.empty(), c.holders[i] != kLink && c.holders[i] != kWineLink);
      }
    }
  });
}

// The host folder is held from before the first file to the last, and let go before any box;
// a file the system names elsewhere (an object-manager link) is removed if created, else left
// alone, and the entry fails; where no normalized name can be had, the name as opened counts.
TEST(ExtractPayload, TheHostFolderIsHeldAndEveryFileInItChecked) {
  const std::string elsewhere = "\\\\?\\C:\\Windows\\System32\\evil.dll";
  struct Case {
    const char* what;
    bool existing;  // the payload's files are there already, intact
    std::map<std::string, std::string> redirected;
    std::map<std::string, std::string> finalFolders;
    std::vector<PathNaming> unnamed;
    bool installed;
  };
  const std::string tlx = InFolder("LXWEPB.TLX");
  const std::string share = "\\\\?\\UNC\\server\\share\\TORVIX";
  using N = PathNaming;
  const std::vector<N> kAll = {N::kNormalized, N::kOpened, N::kVolumeGuid, N::kOnVolume};
  const Case cases[] = {
      {"a plain folder", false, {}, {}, {}, true},
      {"a new file the system names elsewhere", false, {{tlx, elsewhere}}, {}, {}, false},
      {"a file there that the system names elsewhere", true, {{tlx, elsewhere}}, {}, {}, false},
      {"a share, named on the share", true, {}, {{kFolder, share}}, {}, true},
      {"no normalized name: named as opened", true, {}, {}, {N::kNormalized}, true},
      {"only the name on the volume", true, {}, {}, {kAll.begin(), kAll.end() - 1}, true},
      {"no name at all: nothing trusted", false, {}, {}, kAll, false},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetPayload(platform, ThisBuildsPayload());
    for (const PayloadFile& file : ThisBuildsPayload()) {
      if (c.existing) platform.AddFile(InFolder(file.name), file.bytes).stamp = 1;
    }
    for (const auto& name : c.redirected) platform.redirected[Upper(name.first)] = name.second;
    platform.finalFolders = c.finalFolders;
    platform.unnamed = c.unnamed;

    Extract(platform);

    EXPECT_EQ(platform.ended, !c.installed);
    const size_t held = platform.FindCall("OpenHostFolder C:\\TORVIX\\");
    EXPECT_LT(held, platform.FindCall("OpenExistingFile"));
    EXPECT_LT(held, platform.FindCall("CreateOutputFile"));
    size_t released = platform.FindCall(std::string("CloseOutputFile ") + kFolder);
    ASSERT_LT(released, platform.calls.size());
    // Let go before the box: nothing after it but the box and the end.
    const std::vector<std::string> after(platform.calls.begin() + released + 1,
                                         platform.calls.end());
    const std::vector<std::string> boxAndEnd = {"ShowMessageBox Fatal error", "EndRun"};
    EXPECT_EQ(after, c.installed ? std::vector<std::string>() : boxAndEnd);
    if (!c.installed) ExpectOneErrorBox(platform, kEntryFailedCaption, EntryFailed("LXWEPB.TLX"));
    EXPECT_EQ(platform.Writes().empty(), c.existing || !c.installed) << "a repair writes no data";
    const FakeEntry* tlx = platform.File(InFolder("LXWEPB.TLX"));
    ASSERT_EQ(tlx != nullptr, c.installed || c.existing) << "created elsewhere: removed";
    if (tlx != nullptr) {
      EXPECT_EQ(tlx->stamp, c.installed ? kTlxStamp : 1u) << "installed, or left alone";
    }
  });
}

TEST(ExtractPayload, APayloadNameThatIsALinkIsReplacedAsAName) {
  FakePlatform platform;
  SetPayload(platform, ThisBuildsPayload());
  const Bytes outside = PatternBytes(64, 3);
  platform.AddFile("C:\\OUTSIDE.DAT", outside);
  platform.AddFile(InFolder("LXWEPB2.CLX")).linkTo = "C:\\OUTSIDE.DAT";

  Extract(platform);

  EXPECT_FALSE(platform.ended);
  const FakeEntry* installed = platform.File(InFolder("LXWEPB2.CLX"));
  ASSERT_NE(installed, nullptr);
  EXPECT_TRUE(installed->linkTo.empty());
  EXPECT_EQ(installed->bytes, ThisBuildsPayload()[1].bytes);
  EXPECT_EQ(platform.File("C:\\OUTSIDE.DAT")->bytes, outside);
  EXPECT_EQ(platform.Paths().size(), 3u) << "no temporary file left";
}

TEST(ExtractPayload, AFailedWriteRemovesOnlyTheFileItCreatedThroughItsHandle) {
  for (bool exists : {false, true}) {
    FakePlatform platform;
    SetPayload(platform, {{"LXWEPB.TLX", PatternBytes(8385, 1), kTlxStamp}});
    if (exists) platform.AddFile(InFolder("LXWEPB.TLX"), Bytes(10, 4));
    platform.freeSpace = 100;

    Extract(platform);

    std::string created = InFolder(exists ? "~setup.tmp" : "LXWEPB.TLX");
    EXPECT_LT(platform.FindCall("DeleteAndCloseFile " + created), platform.calls.size()) << exists;
    EXPECT_EQ(platform.File(created), nullptr) << exists;
  }
}

}  // namespace
