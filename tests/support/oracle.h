// What must hold after any run against the fake, whatever failed in it: the oracle of the
// sweep, at every fault and power cut, and of the unit tables.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/payload_builder.h"

struct FileState {
  Bytes bytes;
  std::optional<uint32_t> stamp;
  uint32_t attributes = 0;
};
bool operator==(const FileState& a, const FileState& b);

using Disk = std::map<std::string, FileState>;  // upper-case path -> file

Disk DiskOf(const FakePlatform& platform);

// The payload files in folder as a finished run leaves them: the payload's bytes and
// time, and the attributes a replacement keeps of the file it replaced.
Disk Installed(const std::string& folder, const std::vector<PayloadFile>& payload,
               const Disk& before);

// The temporary names that hold an entry in folder.
std::vector<std::string> Leftovers(const std::string& folder, const Disk& disk);

bool Completed(const FakePlatform& platform);

struct Verdict {
  std::vector<std::string> broken;  // every check the run failed, in words
  size_t lost = 0;                  // files neither as they were nor installed whole
};

// Every file that was there (before) holds its old state or its new one whole (after);
// for a run, and for whatever a power cut may leave of one.
Verdict FilesThatWereThere(const std::string& folder, const Disk& before, const Disk& after,
                           const std::vector<PayloadFile>& payload);

// The checks of a run into folder, whose disk was before: every old file whole, old or new;
// a completion report only with every file installed; at most one error box, naming an
// entry or a resource; nothing open or written outside; no temporary name left but where
// its removal failed.
Verdict CheckRun(const FakePlatform& platform, const std::string& folder, const Disk& before,
                 const std::vector<PayloadFile>& payload);
