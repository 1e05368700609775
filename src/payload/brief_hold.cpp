#include "payload/brief_hold.h"

bool IsBriefHold(FileError error, uint32_t attributes) {
  if (error == FileError::kSharing) return true;
  return error == FileError::kAccessDenied && attributes != kNoAttributes &&
         (attributes & (kAttributeReadOnly | kAttributeDirectory)) == 0;
}

bool BriefHold::WaitBeforeRetry() {
  if (waited_ >= kMostInAll) return false;
  uint32_t wait = next_ < kMostInAll - waited_ ? next_ : kMostInAll - waited_;
  platform_.Sleep(wait);
  waited_ += wait;
  next_ = next_ * 2 < kLongestWait ? next_ * 2 : kLongestWait;
  return true;
}
