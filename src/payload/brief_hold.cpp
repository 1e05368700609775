#include "payload/brief_hold.h"

bool BriefHold::WaitBeforeRetry() {
  if (waited_ >= kMostInAll) return false;
  uint32_t wait = next_ < kMostInAll - waited_ ? next_ : kMostInAll - waited_;
  platform_.Sleep(wait);
  waited_ += wait;
  next_ = next_ * 2 < kLongestWait ? next_ * 2 : kLongestWait;
  return true;
}
