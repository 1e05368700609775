// What happens to a file that is already in the folder: left alone when it already
// holds the payload's bytes (only its time is set), refused when read-only, and
// otherwise replaced by a copy that is on the disk before it takes the name.
#include "payload/install_entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>

#include "payload/file_verdicts.h"
#include "support/expect_box.h"
#include "support/payload_builder.h"
#include "support/runs.h"

namespace {

const std::string kTarget = InFolder("LXWEPB2.CLX");
const std::string kTemporary = InFolder("~setup.tmp");

TEST(InstallEntry, WhatHappensToAnExistingFile) {
  const Bytes payload = PatternBytes(310992, 2);
  Bytes lastByte = payload;
  lastByte.back() ^= 1;
  Bytes firstByte = payload;
  firstByte.front() ^= 0x80;
  Bytes shorter(payload.begin(), payload.end() - 1);
  Bytes longer = payload;
  longer.push_back(0);
  enum Outcome { kStamped, kReplaced, kRefused };
  const uint32_t kHidden = kAttributeHidden;
  const uint32_t kHiddenSystem = kAttributeHidden | kAttributeSystem;
  const uint32_t kArchive = kAttributeArchive;
  struct Case {
    const char* what;
    Bytes old;
    uint32_t attributes;  // the old file's, and the new one's when it is replaced
    Outcome outcome;
  };
  const Case cases[] = {
      {"the same bytes", payload, 0, kStamped},
      {"the last byte differs", lastByte, 0, kReplaced},
      {"the first byte differs", firstByte, 0, kReplaced},
      {"one byte shorter", shorter, 0, kReplaced},
      {"one byte longer", longer, 0, kReplaced},
      {"empty", {}, 0, kReplaced},
      {"read-only with the same bytes", payload, kAttributeReadOnly, kRefused},
      {"read-only with other bytes", lastByte, kAttributeReadOnly, kRefused},
      {"hidden with other bytes: hidden still", lastByte, kHidden, kReplaced},
      {"hidden and system: both kept", shorter, kHiddenSystem, kReplaced},
      {"archive: kept", longer, kArchive, kReplaced},
      {"hidden and system with the same bytes: left alone", payload, kHiddenSystem, kStamped},
      {"hidden and read-only: refused", lastByte, kHidden | kAttributeReadOnly, kRefused},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetPayload(platform, {{"LXWEPB2.CLX", payload, kClxStamp}});
    FakeEntry& old = platform.AddFile(kTarget, c.old);
    old.stamp = 12345;
    old.attributes = c.attributes;
    const Disk before = DiskOf(platform);

    Extract(platform);

    ExpectRunHeld(platform, kFolder, before, {{"LXWEPB2.CLX", payload, kClxStamp}});

    const FakeEntry* after = platform.File(kTarget);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(platform.File(kTemporary), nullptr);
    EXPECT_EQ(after->attributes, c.attributes);
    const bool refused = c.outcome == kRefused;
    EXPECT_EQ(platform.ended, refused);
    EXPECT_EQ(after->bytes, refused ? c.old : payload);
    EXPECT_EQ(after->stamp, refused ? 12345u : kClxStamp);
    EXPECT_EQ(platform.Writes().empty(), c.outcome != kReplaced) << ": data only for a copy";
    if (c.outcome == kStamped) {
      EXPECT_EQ(platform.Calls("StampWriteTime").size(), 1u);
      EXPECT_EQ(platform.Calls("CreateOutputFile").size(), 1u) << ": no copy made";
    }
    if (c.outcome == kReplaced) {
      EXPECT_TRUE(after->flushed);
    }
    if (refused) {
      ExpectOneErrorBox(platform, kEntryFailedCaption, EntryFailed("LXWEPB2.CLX"));
      EXPECT_EQ(platform.Calls("StampWriteTime").size(), 0u);
    }
  });
}

TEST(InstallEntry, EveryReplacementIsFlushedBeforeItsMoveAndNoNewFileIs) {
  FakePlatform platform;
  std::vector<PayloadFile> files = ThisBuildsPayload();
  files.push_back({"NEW.DAT", PatternBytes(40000, 5), kTlxStamp});
  SetPayload(platform, files);
  platform.AddFile(InFolder("LXWEPB.TLX"), Bytes(10, 1));
  platform.AddFile(kTarget, Bytes(20, 2));

  Extract(platform);

  EXPECT_FALSE(platform.ended);
  EXPECT_EQ(platform.Calls("FlushOutputFile").size(), 2u)
      << "one per replaced file, none for NEW.DAT";
  for (const char* name : {"LXWEPB.TLX", "LXWEPB2.CLX"}) {
    size_t move = platform.FindCall("MoveOpenFile " + kTemporary + " " + InFolder(name) + " posix");
    ASSERT_LT(move, platform.calls.size()) << name;
    // The flush of this copy is the last flush before its move, after its last write.
    size_t flush = move;
    while (flush > 0 && platform.calls[flush] != "FlushOutputFile " + kTemporary) --flush;
    ASSERT_LT(flush, move) << name;
    for (size_t i = flush; i < move; ++i) EXPECT_NE(platform.calls[i].rfind("Write", 0), 0u);
  }
  EXPECT_EQ(platform.FindCall("FlushOutputFile " + InFolder("NEW.DAT")), platform.calls.size());
}

// A failed flush keeps the old file; one that the file system does not implement (a
// redirector's "invalid function") counts as done, since nothing more can be done there.
TEST(InstallEntry, WhatAFlushThatFailsDoes) {
  struct Case {
    FileError answer;
    bool replaced;
  };
  const Case cases[] = {{FileError::kOther, false}, {FileError::kUnsupported, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    FakePlatform platform;
    SetPayload(platform, ThisBuildsPayload());
    const Bytes old = PatternBytes(1000, 3);
    platform.AddFile(kTarget, old);
    platform.flushAnswer = c.answer;

    Extract(platform);

    EXPECT_EQ(platform.File(kTarget)->bytes, c.replaced ? ThisBuildsPayload()[1].bytes : old);
    EXPECT_EQ(platform.boxes.size(), c.replaced ? 0u : 1u);
    if (!c.replaced) {
      EXPECT_EQ(platform.boxes[0].text, EntryFailed("LXWEPB2.CLX"));
    }
    EXPECT_EQ(platform.File(kTemporary), nullptr);
    EXPECT_EQ(platform.Calls("MoveOpenFile").size() != 0, c.replaced);
  }
}

// Only a plain file of one name, in the held folder, is stamped in place; a link or a file of
// two names is replaced as a name, so that no time is ever set through a link; a file named
// elsewhere (a link Wine followed) is left alone and the entry fails.
TEST(InstallEntry, WhatIsStampedInPlace) {
  const Bytes payload = PatternBytes(310992, 2);
  enum Outcome { kStamped, kReplaced, kLeftAlone };
  struct Case {
    const char* what;
    bool symbolicLink;
    bool linksFollowed;  // opened as what it points to, as Wine does
    uint32_t links;
    uint32_t reparseTag;
    Outcome outcome;
  };
  const Case cases[] = {
      {"a plain file", false, false, 1, 0, kStamped},
      {"a deduplicated file (a reparse point, no link)", false, false, 1, 0x80000013, kStamped},
      {"a file with a second name", false, false, 2, 0, kReplaced},
      {"a symbolic link, opened as itself (Windows)", true, false, 1, 0, kReplaced},
      {"a symbolic link, opened as what it points to (Wine)", true, true, 1, 0, kLeftAlone},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    platform.linksFollowed = c.linksFollowed;
    SetPayload(platform, {{"LXWEPB2.CLX", payload, kClxStamp}});
    platform.AddFile("C:\\ELSEWHERE.DAT", payload).stamp = 7;
    FakeEntry& target = platform.AddFile(kTarget, c.symbolicLink ? Bytes() : payload);
    target.links = c.links;
    target.reparseTag = c.reparseTag;
    if (c.symbolicLink) target.linkTo = "C:\\ELSEWHERE.DAT";

    Extract(platform);

    EXPECT_EQ(platform.ended, c.outcome == kLeftAlone);
    EXPECT_EQ(platform.File("C:\\ELSEWHERE.DAT")->stamp, 7u);
    const FakeEntry* after = platform.File(kTarget);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->linkTo.empty(), !c.symbolicLink || c.outcome != kLeftAlone);
    EXPECT_EQ(after->bytes, c.outcome == kLeftAlone ? Bytes() : payload);
    EXPECT_EQ(after->stamp,
              c.outcome == kLeftAlone ? std::nullopt : std::optional<uint32_t>(kClxStamp));
    EXPECT_EQ(platform.Writes().empty(), c.outcome != kReplaced);
  });
}

TEST(InstallEntry, WhatCountsAsABriefHold) {
  struct Case {
    FileError error;
    uint32_t attributes;  // of the file the operation met
    bool hold;
  };
  const Case cases[] = {
      {FileError::kSharing, kAttributeNormal, true},
      {FileError::kSharing, kAttributeReadOnly, true},
      {FileError::kAccessDenied, kAttributeNormal, true},
      {FileError::kAccessDenied, kAttributeArchive | kAttributeHidden, true},
      {FileError::kAccessDenied, kAttributeReadOnly, false},
      {FileError::kAccessDenied, kAttributeDirectory, false},
      {FileError::kAccessDenied, kNoAttributes, false},
      {FileError::kNotFound, kAttributeNormal, false},
      {FileError::kOther, kAttributeNormal, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsBriefHold(c.error, c.attributes), c.hold)
        << static_cast<int>(c.error) << " " << c.attributes;
  }
}

// The copy is moved with POSIX semantics where the system offers them; after any
// failure of that, once as every Windows since Vista does, whose answer alone counts.
TEST(InstallEntry, TheMoveFallsBackWhereThePosixOneFails) {
  struct Case {
    const char* what;
    bool offered;
    FileError refusal;
  };
  const Case cases[] = {
      {"offered", true, FileError::kNone},
      {"answered with an invalid parameter (Wine, before Windows 10 1607)", false,
       FileError::kUnsupported},
      {"refused by the file system (exFAT's limitation)", false, FileError::kOther},
  };
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    platform.posixMoves = c.offered;
    platform.posixRefusal = c.refusal;
    SetPayload(platform, ThisBuildsPayload());
    platform.AddFile(kTarget, Bytes(10, 1));

    Extract(platform);

    EXPECT_FALSE(platform.ended);
    EXPECT_EQ(platform.File(kTarget)->bytes, ThisBuildsPayload()[1].bytes);
    std::vector<std::string> moves;
    for (const std::string& call : platform.Calls("MoveOpenFile")) {
      moves.push_back(call.substr(call.rfind(' ') + 1));
    }
    using Moves = std::vector<std::string>;
    EXPECT_EQ(moves, (c.offered ? Moves{"posix"} : Moves{"posix", "classic"}));
  });
}

// A hold of a moment (a scanner, the indexer) is waited out, 50 ms growing to 500 ms, at most
// 3 s a file; anything else fails at once. A folder link pointed elsewhere meanwhile changes
// nothing: every name is resolved in the folder held.
TEST(InstallEntry, ABriefHoldIsWaitedOut) {
  const Bytes payload = PatternBytes(310992, 2);
  const Bytes old = PatternBytes(1000, 3);
  struct Case {
    const char* what;
    int heldFor;         // attempts on the target that meet a hold
    bool heldForGood;    // the target is held for the whole run
    int heldAfterClose;  // attempts on a file this run has closed that meet a hold
    bool readOnly;
    bool replaced;
    uint32_t waited;              // milliseconds in all
    int folderHeldFor = 0;        // attempts on the folder that meet a hold
    int movesHeld = 0;            // moves over the target that meet a hold (reading is shared)
    bool linkRetargeted = false;  // the folder is a link, pointed elsewhere at the first wait
  };
  const Case cases[] = {
      {"no hold", 0, false, 0, false, true, 0},
      {"held for three attempts", 3, false, 0, false, true, 50 + 100 + 200},
      {"held until the last attempt the time allows", 9, false, 0, false, true, 3000},
      // The copy is moved and removed through the handle that made it, never closed
      // before: a scanner that opens every closed file never holds it.
      {"a scanner holding every closed file for a moment", 0, false, 2, false, true, 0},
      {"held for good", 0, true, 0, false, false, 3000},
      {"held for good, and a scanner holding every closed file", 0, true, 4, false, false, 3000},
      {"read-only: no wait", 0, false, 0, true, false, 0},
      {"the folder held for two attempts", 0, false, 0, false, true, 50 + 100, 2},
      {"the move waits, and the folder's link is pointed elsewhere meanwhile", 0, false, 0, false,
       true, 50 + 100, 0, 4, true},
  };
  const std::string kFirst = "C:\\REAL1\\LXWEPB2.CLX";
  const std::string kSecond = "C:\\REAL2\\LXWEPB2.CLX";
  ForEachRow(cases, [&](const Case& c) {
    FakePlatform platform;
    SetPayload(platform, {{"LXWEPB2.CLX", payload, kClxStamp}});
    std::string where = kTarget;
    if (c.linkRetargeted) {
      platform.folderLinks[kFolder] = "C:\\REAL1";
      platform.AddFile(kSecond, old);
      platform.duringWait = [](FakePlatform& p) { p.folderLinks[kFolder] = "C:\\REAL2"; };
      where = kFirst;
    }
    FakeEntry& target = platform.AddFile(where, old);
    target.heldFor = c.heldFor;
    target.inUse = c.heldForGood;
    target.movesHeld = c.movesHeld;
    if (c.readOnly) target.attributes = kAttributeReadOnly;
    platform.heldAfterClose = c.heldAfterClose;
    if (c.folderHeldFor != 0) platform.AddDirectory(kFolder).heldFor = c.folderHeldFor;

    Extract(platform);

    if (c.linkRetargeted) {
      EXPECT_EQ(platform.File(kSecond)->bytes, old) << ": replaced outside the held folder";
      EXPECT_EQ(platform.Paths().size(), 2u);
    }
    const FakeEntry* after = platform.File(where);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->bytes, c.replaced ? payload : old);
    EXPECT_EQ(platform.ended, !c.replaced);
    if (!c.replaced) ExpectOneErrorBox(platform, kEntryFailedCaption, EntryFailed("LXWEPB2.CLX"));
    const std::vector<uint32_t> sleeps = platform.Sleeps();
    EXPECT_EQ(std::accumulate(sleeps.begin(), sleeps.end(), 0u), c.waited);
    for (uint32_t wait : sleeps) EXPECT_LE(wait, 500u);
    EXPECT_EQ(platform.File(kTemporary), nullptr) << ": a copy left behind";
  });
}

}  // namespace
