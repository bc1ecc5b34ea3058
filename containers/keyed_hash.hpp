// A keyed hash for tables whose keys come from a peer: SipHash-1-3, the reduced-round SipHash
// that CPython and Rust hash their strings and map keys with. Without the 128-bit key, a peer
// cannot choose keys that share a bucket, which an unkeyed hash (the standard library's has a
// fixed seed and is invertible) lets it do at will, turning each look-up into a walk along one
// long chain. The hash decides only where a key is kept, never what a table answers.
//
// Written out here rather than taken from a library: the algorithm is a dozen lines, the
// libraries that carry it (libsodium and the like) are far larger dependencies, and the
// standard library has none.
#pragma once

#include <bit>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string_view>

namespace vorlik {

struct HashKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

namespace keyed_hash_detail {

inline std::uint64_t load_le64(const char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

inline std::uint64_t load_le32(const char* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline std::uint64_t byte_at(const char* p, std::size_t i) {
  return std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
}

// The `n` < 8 bytes at `p`, little-endian, read without a loop: keys are mostly short, and a
// byte at a time would cost as much as the hash's rounds. Two loads that overlap for 4 to 7
// bytes, three single bytes (some the same) for 1 to 3; an overlapping byte lands in its own
// place in both, so or-ing them is exact.
inline std::uint64_t load_le_tail(const char* p, std::size_t n) {
  if (n >= 4) return load_le32(p) | load_le32(p + n - 4) << (8 * (n - 4));
  if (n == 0) return 0;
  return byte_at(p, 0) | byte_at(p, n / 2) | byte_at(p, n - 1);
}

struct State {
  std::uint64_t v0, v1, v2, v3;

  [[gnu::always_inline]] void round() {
    v0 += v1;
    v1 = std::rotl(v1, 13);
    v1 ^= v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = std::rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = std::rotl(v1, 17);
    v1 ^= v2;
    v2 = std::rotl(v2, 32);
  }
};

}  // namespace keyed_hash_detail

// SipHash-c-d of `data` under `key`; c compression rounds per 8-byte word, d final rounds.
template <int C, int D>
std::uint64_t siphash(HashKey key, std::string_view data) {
  keyed_hash_detail::State s{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL,
                             key.k0 ^ 0x6c7967656e657261ULL, key.k1 ^ 0x7465646279746573ULL};
  const auto compress = [&s](std::uint64_t m) {
    s.v3 ^= m;
    for (int i = 0; i < C; ++i) s.round();
    s.v0 ^= m;
  };
  const char* p = data.data();
  const std::size_t n = data.size();
  const char* const whole_end = p + (n & ~std::size_t{7});
  for (; p != whole_end; p += 8) compress(keyed_hash_detail::load_le64(p));
  // The last word: the bytes left over, little-endian, and the length's low byte on top.
  compress(static_cast<std::uint64_t>(n) << 56 | keyed_hash_detail::load_le_tail(p, n & 7));
  s.v2 ^= 0xff;
  for (int i = 0; i < D; ++i) s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

inline std::uint64_t keyed_hash(HashKey key, std::string_view data) {
  return siphash<1, 3>(key, data);
}

// The process's key, drawn from the system's random source on first use and constant after
// that: drawing one per call would cost more than a small call (a system call each, tens of
// microseconds where the processor's own source is trapped by a hypervisor). Where the system
// has no random source, the clock and the process's address layout stand in.
inline HashKey process_hash_key() {
  static const HashKey key = [] {
    HashKey k;
    try {
      std::random_device source;
      k.k0 = (std::uint64_t{source()} << 32) ^ source();
      k.k1 = (std::uint64_t{source()} << 32) ^ source();
    } catch (...) {
      k.k0 =
          static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
      k.k1 = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&k));
    }
    return k;
  }();
  return key;
}

}  // namespace vorlik
