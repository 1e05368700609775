#pragma once

#include "platform/platform.h"

// On Windows an antivirus scanner or the search indexer opens a file that was just
// written, or is about to be replaced, for a moment and without delete sharing; a
// move over it or of it, or an open of it, then fails although it would succeed a
// little later. BriefHold waits such a hold out, for one file at a time: waits that
// grow from 50 ms to 500 ms, at most 3 s in all for the file. Every other failure
// fails at once.
class BriefHold {
 public:
  static constexpr uint32_t kFirstWait = 50;
  static constexpr uint32_t kLongestWait = 500;
  static constexpr uint32_t kMostInAll = 3000;

  explicit BriefHold(Platform& platform) : platform_(platform) {}

  // True when the outcome is a hold and the file's time is not used up: it has waited,
  // and the caller tries again. False otherwise, at once.
  bool WaitedOut(FileOutcome outcome);

 private:
  Platform& platform_;
  uint32_t waited_ = 0;
  uint32_t next_ = kFirstWait;
};
