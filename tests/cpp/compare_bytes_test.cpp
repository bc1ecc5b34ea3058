// The WebAssembly module's memcmp against the C library's, on ranges that differ in one byte at
// every place, and on equal ones, at every length around the eight-byte steps.
#include "wasm/compare_bytes.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

int sign(int v) {
  return (v > 0) - (v < 0);
}

TEST(CompareBytes, AgreesWithMemcmp) {
  std::mt19937 random(27);
  for (std::size_t n = 0; n <= 40; ++n) {
    std::vector<unsigned char> a(n + 3);
    for (auto& byte : a) byte = static_cast<unsigned char>(random());
    for (std::size_t offset = 0; offset < 3; ++offset) {
      std::vector<unsigned char> b = a;
      const unsigned char* p = a.data() + offset;
      EXPECT_EQ(vorlik::wasm::compare_bytes(p, b.data() + offset, n), 0);
      for (std::size_t at = offset; at < offset + n; ++at) {
        for (const int delta : {1, 0x7f, 0x80, 0xff}) {
          b = a;
          b[at] = static_cast<unsigned char>(b[at] + delta);
          const unsigned char* q = b.data() + offset;
          ASSERT_EQ(sign(vorlik::wasm::compare_bytes(p, q, n)), sign(std::memcmp(p, q, n)))
              << "n " << n << " at " << at << " delta " << delta;
        }
      }
    }
  }
}

}  // namespace
