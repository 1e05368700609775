#include "payload/crc32.h"

#include "payload/crc32_ways.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#include <wmmintrin.h>
#define CRC32_FOLDING 1
#endif

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

// The register after each value of a half byte: 64 bytes of read-only data made when
// built, where a table of the 256 byte values would take a kilobyte of the image's
// writable data. Two steps a byte; only short runs, and processors without the folding,
// take it.
struct HalfByteTable {
  uint32_t entries[16];
};

constexpr HalfByteTable MakeHalfByteTable() {
  HalfByteTable table = {};
  for (uint32_t n = 0; n < 16; ++n) {
    uint32_t c = n;
    for (int bit = 0; bit < 4; ++bit) c = (c & 1) != 0 ? (c >> 1) ^ kPolynomial : c >> 1;
    table.entries[n] = c;
  }
  return table;
}

constexpr HalfByteTable kHalfBytes = MakeHalfByteTable();

// Advances the CRC register (not inverted) over the bytes, one at a time.
uint32_t UpdateWithTable(uint32_t crc, const unsigned char* p, size_t count) {
  while (count-- != 0) {
    crc ^= *p++;
    crc = (crc >> 4) ^ kHalfBytes.entries[crc & 0xF];
    crc = (crc >> 4) ^ kHalfBytes.entries[crc & 0xF];
  }
  return crc;
}

#if CRC32_FOLDING

// The smallest run the folding takes; shorter ones go to the table.
constexpr size_t kFoldingMinimum = 64;

// Folding constants for the reflected polynomial: x^(4*128+32) and x^(4*128-32) mod P
// to fold 512 bits, x^(128+32) and x^(128-32) mod P to fold 128, x^64 mod P for the
// last 64, then P and its Barrett constant.
#define FOLDING_TARGET __attribute__((target("sse2,pclmul"), force_align_arg_pointer))

FOLDING_TARGET inline __m128i Fold(__m128i x, __m128i constants) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, constants, 0x00),
                       _mm_clmulepi64_si128(x, constants, 0x11));
}

FOLDING_TARGET inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Advances the register over count bytes, a multiple of 16 and at least 64.
FOLDING_TARGET uint32_t UpdateByFolding(uint32_t crc, const unsigned char* p, size_t count) {
  const __m128i fold512 =
      _mm_set_epi32(0x00000001, static_cast<int>(0xC6E41596u), 0x00000001, 0x54442BD4);
  const __m128i fold128 =
      _mm_set_epi32(0x00000000, static_cast<int>(0xCCAA009Eu), 0x00000001, 0x751997D0);
  const __m128i fold64 = _mm_set_epi32(0, 0, 0x00000001, 0x63CD6124);
  const __m128i barrett = _mm_set_epi32(0x00000001, static_cast<int>(0xF7011641u), 0x00000001,
                                        static_cast<int>(0xDB710641u));
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);

  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(p + 16);
  __m128i x3 = Load(p + 32);
  __m128i x4 = Load(p + 48);
  p += 64;
  count -= 64;
  while (count >= 64) {
    x1 = _mm_xor_si128(Fold(x1, fold512), Load(p));
    x2 = _mm_xor_si128(Fold(x2, fold512), Load(p + 16));
    x3 = _mm_xor_si128(Fold(x3, fold512), Load(p + 32));
    x4 = _mm_xor_si128(Fold(x4, fold512), Load(p + 48));
    p += 64;
    count -= 64;
  }
  x1 = _mm_xor_si128(Fold(x1, fold128), x2);
  x1 = _mm_xor_si128(Fold(x1, fold128), x3);
  x1 = _mm_xor_si128(Fold(x1, fold128), x4);
  while (count >= 16) {
    x1 = _mm_xor_si128(Fold(x1, fold128), Load(p));
    p += 16;
    count -= 16;
  }

  // 128 bits to 64, then to 32 with 32 zero bits appended.
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(fold128, x1, 0x01), _mm_srli_si128(x1, 8));
  __m128i high = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), fold64, 0x00), high);

  // Barrett reduction to the 32-bit remainder.
  __m128i whole = x1;
  x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
  x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x00);
  x1 = _mm_xor_si128(x1, whole);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

#endif

}  // namespace

bool Crc32FoldingSupported() {
#if CRC32_FOLDING
  static int supported = -1;
  if (supported < 0) {
    unsigned a = 0;
    unsigned b = 0;
    unsigned c = 0;
    unsigned d = 0;
    supported = __get_cpuid(1, &a, &b, &c, &d) && (c & bit_PCLMUL) != 0 && (d & bit_SSE2) != 0;
  }
  return supported != 0;
#else
  return false;
#endif
}

uint32_t Crc32Table(const unsigned char* bytes, size_t count) {
  return ~UpdateWithTable(0xFFFFFFFFu, bytes, count);
}

uint32_t Crc32Folded(const unsigned char* bytes, size_t count) {
  uint32_t crc = 0xFFFFFFFFu;
#if CRC32_FOLDING
  if (count >= kFoldingMinimum) {
    size_t folded = count & ~static_cast<size_t>(15);
    crc = UpdateByFolding(crc, bytes, folded);
    bytes += folded;
    count -= folded;
  }
#endif
  return ~UpdateWithTable(crc, bytes, count);
}

uint32_t Crc32(const unsigned char* bytes, size_t count) {
  return Crc32FoldingSupported() ? Crc32Folded(bytes, count) : Crc32Table(bytes, count);
}
