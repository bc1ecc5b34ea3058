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

// Every length of the last, partial word, and a whole word before it.
TEST(KeyedHash, SipHash13MatchesCPythonForEveryTailLength) {
  static constexpr std::uint64_t kCounting[] = {
      0x68a914128e01e473ULL, 0x010bac45c41e3669ULL, 0x4d4c9a4a8ef6e0adULL, 0x7cc43f98813e4dbdULL,
      0x5abe2169dff36275ULL, 0xe3c25f87624f1cdbULL, 0x2f098ab0c751325aULL, 0xead411e67ebe2eeaULL,
      0x75927f9d95124362ULL, 0xaf9f77a65ab51a1dULL, 0xfe64ce8b6617fcffULL, 0xa6baf4fb0f9fe1c2ULL,
      0xa0cf3211850f8e0dULL, 0x7f86049379fbfe67ULL, 0xf30eb725bb91c9eaULL, 0x8972188433a5c5b7ULL};
  for (std::size_t n = 1; n <= 16; ++n)
    EXPECT_EQ(keyed_hash(HashKey{}, counting(n)), kCounting[n - 1]) << n << " bytes";
}

TEST(KeyedHash, TheKeyChangesEveryHash) {
  const HashKey a{1, 2}, b{1, 3};
  for (const char* s : {"", "k", "k123", "a longer key than one word"})
    EXPECT_NE(keyed_hash(a, s), keyed_hash(b, s)) << s;
}

}  // namespace
}  // namespace vorlik
