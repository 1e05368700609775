// What the unit tests share: the loop over a table's rows, the one check of a run that
// ends in an error (exactly one box, with the error icon, this caption and this text),
// and the oracle the sweep holds every run to.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/fake_platform.h"
#include "support/oracle.h"

// Runs check on each row under the row's trace (its what): a failed assertion ends that
// row alone, and every failing row is reported.
template <typename Row, size_t N, typename Check>
void ForEachRow(const Row (&rows)[N], Check check) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    check(row);
  }
}

inline void ExpectOneErrorBox(const FakePlatform& platform, const std::string& caption,
                              const std::string& text) {
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, text);
  EXPECT_EQ(platform.boxes[0].caption, caption);
  EXPECT_EQ(platform.boxes[0].style, kStyleError);
}

// The run into folder, whose disk was before, held to every check of the oracle.
inline void ExpectRunHeld(const FakePlatform& platform, const std::string& folder,
                          const Disk& before, const std::vector<PayloadFile>& payload) {
  EXPECT_EQ(CheckRun(platform, folder, before, payload).broken, std::vector<std::string>());
}
