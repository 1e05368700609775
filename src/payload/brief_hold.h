#pragma once

#include "platform/platform.h"

// On Windows an antivirus scanner or the search indexer opens a file that was just
// written, or is about to be replaced, for a moment and without delete sharing; an open
// of it, or a move over it, then fails although it would succeed a little later.
//
// True when a failure is such a hold: a sharing or lock violation, or access denied on
// an entry (its attributes given) that is neither read-only nor a directory. Access
// denied on those, a missing entry, and every other failure will not end by itself.
bool IsBriefHold(FileError error, uint32_t attributes);

// Waits out a brief hold of one file: waits that grow from 50 ms to 500 ms, at most 3 s
// in all for the file.
class BriefHold {
 public:
  static constexpr uint32_t kFirstWait = 50;
  static constexpr uint32_t kLongestWait = 500;
  static constexpr uint32_t kMostInAll = 3000;

  explicit BriefHold(Platform& platform) : platform_(platform) {}

  // Waits before the next try and returns true; false at once when the file's time is
  // used up.
  bool WaitBeforeRetry();

 private:
  Platform& platform_;
  uint32_t waited_ = 0;
  uint32_t next_ = kFirstWait;
};
