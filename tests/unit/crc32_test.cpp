#include "payload/crc32.h"

#include <gtest/gtest.h>

#include <string>

#include "payload/crc32_ways.h"
#include "support/payload_builder.h"

namespace {

// One bit at a time, straight from the definition.
uint32_t Reference(const unsigned char* bytes, size_t count) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

uint32_t OfText(const std::string& text) {
  return Crc32(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

TEST(Crc32, KnownValues) {
  EXPECT_EQ(OfText(""), 0x00000000u);
  EXPECT_EQ(OfText("a"), 0xE8B7BE43u);
  EXPECT_EQ(OfText("123456789"), 0xCBF43926u);
  EXPECT_EQ(OfText("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(Crc32, BothWaysAgreeWithTheDefinitionAtEveryLengthAndAlignment) {
  const Bytes bytes = PatternBytes(1 << 20, 11);
  const bool folding = Crc32FoldingSupported();
  std::vector<size_t> lengths;
  for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (size_t n : {1023u, 4096u, 32768u, 65535u, 1000003u}) lengths.push_back(n);
  for (size_t length : lengths) {
    // Every alignment for the short lengths; the first and the last for the long ones.
    const size_t step = length > 300 ? 15 : 1;
    for (size_t offset = 0; offset < 16; offset += step) {
      const unsigned char* p = bytes.data() + offset;
      uint32_t expected = Reference(p, length);
      ASSERT_EQ(Crc32Table(p, length), expected) << length << " at " << offset;
      if (folding) {
        ASSERT_EQ(Crc32Folded(p, length), expected) << length << " at " << offset;
      }
      ASSERT_EQ(Crc32(p, length), expected) << length << " at " << offset;
    }
  }
  if (!folding) GTEST_SKIP() << "this processor has no carry-less multiplication";
}

}  // namespace
