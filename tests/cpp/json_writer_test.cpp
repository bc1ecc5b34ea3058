#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "jsonio/digits.hpp"
#include "jsonio/writer.hpp"
#include "reference_quote.hpp"

namespace vorlik::json {
namespace {

std::string formatted(double v, bool plus_sign = true) {
  char buf[32];
  return {buf, format_double(v, buf, plus_sign)};
}

struct DoubleCase {
  double value;
  const char* text;
};

class DoubleLayout : public ::testing::TestWithParam<DoubleCase> {};

TEST_P(DoubleLayout, ShortestDigitsInTheirLayout) {
  EXPECT_EQ(formatted(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Positional, DoubleLayout,
                         ::testing::Values(DoubleCase{1.0, "1.0"}, DoubleCase{-1.5, "-1.5"},
                                           DoubleCase{0.0, "0.0"}, DoubleCase{-0.0, "-0.0"},
                                           DoubleCase{0.1, "0.1"}, DoubleCase{123.456, "123.456"},
                                           DoubleCase{100.0, "100.0"},
                                           DoubleCase{0.00001, "0.00001"},
                                           DoubleCase{0.000123, "0.000123"},
                                           DoubleCase{1e15, "1000000000000000.0"},
                                           DoubleCase{9007199254740993.0, "9007199254740992.0"},
                                           DoubleCase{1234567890123456.7, "1234567890123456.8"}));

INSTANTIATE_TEST_SUITE_P(
    Exponent, DoubleLayout,
    ::testing::Values(DoubleCase{1e16, "1e+16"}, DoubleCase{1.5e16, "1.5e+16"},
                      DoubleCase{1e-6, "1e-6"}, DoubleCase{-2.5e-7, "-2.5e-7"},
                      DoubleCase{1e21, "1e+21"}, DoubleCase{1e100, "1e+100"},
                      DoubleCase{5e-324, "5e-324"},
                      DoubleCase{1.7976931348623157e308, "1.7976931348623157e+308"},
                      DoubleCase{2.2250738585072014e-308, "2.2250738585072014e-308"}));

INSTANTIATE_TEST_SUITE_P(
    NotFinite, DoubleLayout,
    ::testing::Values(DoubleCase{std::numeric_limits<double>::infinity(), "null"},
                      DoubleCase{-std::numeric_limits<double>::infinity(), "null"},
                      DoubleCase{std::nan(""), "null"}));

TEST(DoubleLayout, MessagesLeaveOutThePlusSign) {
  EXPECT_EQ(formatted(1e16, false), "1e16");
  EXPECT_EQ(formatted(1e-6, false), "1e-6");
  EXPECT_EQ(formatted(2.5, false), "2.5");
}

// Any finite double: the text reads back to the same bits, and the layout is positional exactly
// for magnitudes from the double nearest 1e-5 up to (not including) 1e16.
TEST(DoubleLayout, RoundTripsOnRandomBitPatterns) {
  std::mt19937_64 random(20261207);
  for (int k = 0; k < 200000; ++k) {
    const double v = std::bit_cast<double>(random());
    if (!std::isfinite(v)) continue;
    const std::string text = formatted(v);
    double back = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_EQ(r.ec, std::errc()) << text;
    ASSERT_EQ(r.ptr, text.data() + text.size()) << text;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(v)) << text;
    const double magnitude = std::fabs(v);
    const bool positional = magnitude == 0.0 || (magnitude >= 1e-5 && magnitude < 1e16);
    ASSERT_EQ(text.find('e') == std::string::npos, positional) << text;
    if (positional) {
      ASSERT_NE(text.find('.'), std::string::npos) << text;
    }
  }
}

// The digits and exponent the standard library's shortest round-trip form gives, in scientific
// notation; the writer must choose the same digits (the closest of the shortest) whatever its
// algorithm.
std::pair<std::string, int> standard_shortest(double v) {
  char sci[40];
  const auto end =
      std::to_chars(sci, sci + sizeof sci, std::fabs(v), std::chars_format::scientific).ptr;
  std::string digits;
  const char* p = sci;
  for (; *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  int exp = 0;
  std::from_chars(p + (p[1] == '+' ? 2 : 1), end, exp);
  return {digits, exp};
}

// The significant digits and the scientific exponent of a written double.
std::pair<std::string, int> written_shortest(std::string text) {
  if (text[0] == '-') text.erase(0, 1);
  if (const std::size_t e = text.find('e'); e != std::string::npos) {
    std::string digits = text.substr(0, e);
    if (digits.size() > 1) digits.erase(1, 1);  // d.ddd
    return {digits, std::stoi(text.substr(e + 1))};
  }
  const std::size_t point = text.find('.');
  std::string all = text.substr(0, point) + text.substr(point + 1);
  const std::size_t first = all.find_first_not_of('0');
  std::string digits = all.substr(first);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return {digits, static_cast<int>(point) - static_cast<int>(first) - 1};
}

TEST(DoubleLayout, ChoosesTheStandardShortestDigits) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> coordinate(-180.0, 180.0);
  for (int k = 0; k < 300000; ++k) {
    const double v = k % 2 ? coordinate(random) : std::bit_cast<double>(random());
    if (!std::isfinite(v) || v == 0.0) continue;
    const std::string text = formatted(v);
    ASSERT_EQ(written_shortest(text), standard_shortest(v)) << text;
  }
}

// Decimal digits against the standard library: every power of ten and its neighbours, the
// limits, and random values of every length.
TEST(Decimal, WritesWhatToCharsWrites) {
  std::vector<std::uint64_t> values = {0, std::numeric_limits<std::uint64_t>::max()};
  for (std::uint64_t p = 1; p <= 10000000000000000000ULL; p *= 10) {
    values.insert(values.end(), {p - 1, p, p + 1});
    if (p > std::numeric_limits<std::uint64_t>::max() / 10) break;
  }
  std::mt19937_64 random(11);
  for (int k = 0; k < 20000; ++k) values.push_back(random() >> (random() % 64));
  for (const std::uint64_t v : values) {
    char expected[24], got[24];
    char* e = std::to_chars(expected, expected + sizeof expected, v).ptr;
    char* g = write_decimal(v, got);
    ASSERT_EQ(std::string(got, static_cast<std::size_t>(g - got)),
              std::string(expected, static_cast<std::size_t>(e - expected)));
  }
}

std::string written(std::string_view s) {
  Writer w;
  w.string(s);
  return w.take();
}

TEST(WriterStrings, EscapesExactlyTheBytesThatNeedIt) {
  EXPECT_EQ(written("\"\\\b\f\n\r\t\x01\x1f\x7f/\xC3\xA9"),
            "\"\\\"\\\\\\b\\f\\n\\r\\t\\u0001\\u001f\x7f/\xC3\xA9\"");
  EXPECT_EQ(written(std::string_view("a\0b", 3)), "\"a\\u0000b\"");
  EXPECT_EQ(written(""), "\"\"");
}

// The writer steps over plain bytes eight at a time: a byte needing an escape is found at every
// offset, next to any neighbour, in strings around the word size.
TEST(WriterStrings, FindsEveryEscapeWhateverItsOffset) {
  const std::string specials = std::string("\"\\\n\x1f\x01\b", 6) + std::string(1, '\0');
  for (char neighbour : {'a', '\x7f', '\x80', '\xff', ' '}) {
    for (std::size_t length = 1; length <= 24; ++length) {
      for (std::size_t at = 0; at < length; ++at) {
        for (char special : specials) {
          std::string s(length, neighbour);
          s[at] = special;
          ASSERT_EQ(written(s), testing::reference_quote(s)) << "length " << length << " at " << at;
        }
      }
    }
  }
}

TEST(WriterStrings, AgreesWithTheReferenceOnRandomBytes) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> length(0, 40);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int k = 0; k < 20000; ++k) {
    std::string s(static_cast<std::size_t>(length(random)), ' ');
    for (char& c : s) {
      // Mostly printable ASCII, so that runs of plain bytes are common.
      const int b = byte(random);
      c = static_cast<char>(b < 192 ? 'a' + b % 26 : byte(random));
    }
    ASSERT_EQ(written(s), testing::reference_quote(s));
  }
}

TEST(WriterNumbers, IntegersAtTheirLimits) {
  Writer w;
  w.u64(std::numeric_limits<std::uint64_t>::max());
  w.raw(',');
  w.i64(std::numeric_limits<std::int64_t>::min());
  w.raw(',');
  w.u64(0);
  w.raw(',');
  w.f64(-0.0);
  EXPECT_EQ(w.take(), "18446744073709551615,-9223372036854775808,0,-0.0");
}

// Only strings lying wholly inside a trusted text skip the scan; one that runs past its end, or
// starts before it, is escaped as any other.
TEST(WriterStrings, TrustsOnlyStringsInsideTheTrustedText) {
  const std::string text = "ab\"cd\\e";
  const std::string_view all(text);
  Writer w;
  w.trust(all.substr(0, 2));
  w.trust(all.substr(4, 1));
  w.string(all.substr(0, 2));  // inside the first
  w.string(all.substr(1, 3));  // runs past the first's end
  w.string(all.substr(2, 3));  // starts before the second
  w.string(all.substr(4, 1));  // inside the second
  w.string(all.substr(4, 3));  // runs past the second's end
  EXPECT_EQ(w.take(), R"("ab""b\"c""\"cd""d""d\\e")");
}

// Pieces of every size written through the cursor, across many growths of the string and its
// reserved capacity, and text appended to the synced string in between, come out in order.
TEST(WriterBuffer, KeepsEveryPieceAcrossGrowth) {
  std::mt19937 random(3);
  std::uniform_int_distribution<std::size_t> size(0, 9000);
  Writer w;
  w.reserve(500000);  // growth first stops at the reserved capacity, then goes past it
  std::string expected;
  for (int k = 0; k < 300; ++k) {
    const std::string piece(size(random), static_cast<char>('a' + k % 26));
    switch (k % 4) {
      case 0:
        w.raw(piece);
        break;
      case 1:
        w.plain_string(piece);
        expected += '"';
        break;
      case 2:
        w.sync().append(piece);
        w.resume();
        break;
      default:
        std::memcpy(w.room(piece.size()), piece.data(), piece.size());
        w.advance(w.room(0) + piece.size());
    }
    expected += piece;
    if (k % 4 == 1) expected += '"';
    ASSERT_EQ(w.size(), expected.size());
  }
  EXPECT_EQ(w.view(), expected);
  EXPECT_EQ(w.take(), expected);
}

}  // namespace
}  // namespace vorlik::json
