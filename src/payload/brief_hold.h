#pragma once

#include "platform/platform.h"

// Waits out another program's brief hold of one file (file_verdicts.h says what is
// one): waits that grow from 50 ms to 500 ms, at most 3 s in all for the file.
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
