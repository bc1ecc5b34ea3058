#include "containers/keyed_hash.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace vorlik {
namespace {

std::string counting(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(i);
  return s;
}

// The reference implementation's SipHash-2-4 vectors: key 00 01 .. 0f, message 00 01 .. (n-1).
TEST(KeyedHash, SipHash24MatchesTheReferenceVectors) {
  const HashKey key{0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};
  EXPECT_EQ((siphash<2, 4>(key, counting(0))), 0x726fdb47dd0e0e31ULL);
  EXPECT_EQ((siphash<2, 4>(key, counting(1))), 0x74f839c593dc67fdULL);
  EXPECT_EQ((siphash<2, 4>(key, counting(15))), 0xa129ca6149be45e5ULL);
}

// SipHash-1-3 as CPython 3.11 hashes bytes when its key is zero (PYTHONHASHSEED=0): whole words,
// a partial last word and none.
TEST(KeyedHash, SipHash13MatchesCPython) {
  const HashKey zero{};
  EXPECT_EQ(keyed_hash(zero, "a"), 0x407448d2b89b1813ULL);
  EXPECT_EQ(keyed_hash(zero, "k123"), 0x3b75735448f9d016ULL);
  EXPECT_EQ(keyed_hash(zero, "abcdefg"), 0x6db12aae9070f506ULL);
  EXPECT_EQ(keyed_hash(zero, "abcdefgh"), 0x3f7b849c0b8e35eaULL);
  EXPECT_EQ(keyed_hash(zero, counting(15)), 0xf30eb725bb91c9eaULL);
  EXPECT_EQ(keyed_hash(zero, counting(64)), 0x75e05fd5bbc870c6ULL);
}

TEST(KeyedHash, TheKeyChangesEveryHash) {
  const HashKey a{1, 2}, b{1, 3};
  for (const char* s : {"", "k", "k123", "a longer key than one word"})
    EXPECT_NE(keyed_hash(a, s), keyed_hash(b, s)) << s;
}

}  // namespace
}  // namespace vorlik
