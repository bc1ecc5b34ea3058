#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "jsonio/number.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/record.hpp"
#include "jsonio/value.hpp"
#include "read_text.hpp"

namespace vorlik::json {
namespace {

using testing::read_error;

std::string generic_error(std::string_view text) {
  return read_error(text, [](Reader& r) { read_json(r); });
}

struct ErrorCase {
  const char* text;
  const char* message;
};

class ReaderErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ReaderErrors, DescribesAndPlacesTheFirstFault) {
  EXPECT_EQ(generic_error(GetParam().text), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, ReaderErrors,
    ::testing::Values(ErrorCase{"", "EOF while parsing a value at line 1 column 0"},
                      ErrorCase{"  \n ", "EOF while parsing a value at line 2 column 1"},
                      ErrorCase{"[1,2", "EOF while parsing a list at line 1 column 4"},
                      ErrorCase{"{\"a\":1", "EOF while parsing an object at line 1 column 6"},
                      ErrorCase{"[1,]", "trailing comma at line 1 column 4"},
                      ErrorCase{"{\"a\":1,}", "trailing comma at line 1 column 8"},
                      ErrorCase{"[1 2]", "expected `,` or `]` at line 1 column 4"},
                      ErrorCase{"{\"a\" 1}", "expected `:` at line 1 column 6"},
                      ErrorCase{"trux", "expected ident at line 1 column 4"},
                      ErrorCase{"1 2", "trailing characters at line 1 column 3"}));

INSTANTIATE_TEST_SUITE_P(
    MultiLine, ReaderErrors,
    ::testing::Values(
        // The column counts bytes from the last line feed before the position.
        ErrorCase{"[\n  1,\n  x]", "expected value at line 3 column 3"},
        ErrorCase{"{\r\n\"a\":\r\n}", "expected value at line 3 column 1"},
        ErrorCase{"[1,\n2,\n", "EOF while parsing a value at line 3 column 0"},
        // A line feed inside a string is the offending byte: the position is just after it.
        ErrorCase{"{\n\"a\": \"b\n\"}",
                  "control character (\\u0000-\\u001F) found while parsing a string at line 3 "
                  "column 0"},
        ErrorCase{"\"abc", "EOF while parsing a string at line 1 column 4"}));

INSTANTIATE_TEST_SUITE_P(
    Escapes, ReaderErrors,
    ::testing::Values(
        ErrorCase{"\"\\x\"", "invalid escape at line 1 column 3"},
        ErrorCase{"\"\\u12\"", "EOF while parsing a string at line 1 column 6"},
        ErrorCase{"\"\\udc00\"", "lone leading surrogate in hex escape at line 1 column 7"},
        ErrorCase{"\"\\ud800\"", "unexpected end of hex escape at line 1 column 8"},
        ErrorCase{"\"\\ud800\\u0041\"", "lone leading surrogate in hex escape at line 1 column 13"},
        ErrorCase{"\"\\ud800", "EOF while parsing a string at line 1 column 7"}));

INSTANTIATE_TEST_SUITE_P(
    Numbers, ReaderErrors,
    ::testing::Values(ErrorCase{"01", "invalid number at line 1 column 2"},
                      ErrorCase{"-", "EOF while parsing a value at line 1 column 1"},
                      ErrorCase{"-x", "invalid number at line 1 column 2"},
                      ErrorCase{"1.", "EOF while parsing a value at line 1 column 2"},
                      ErrorCase{"1.x", "invalid number at line 1 column 3"},
                      ErrorCase{"1e", "EOF while parsing a value at line 1 column 2"},
                      ErrorCase{"1e+x", "invalid number at line 1 column 4"},
                      ErrorCase{"1e400", "number out of range at line 1 column 5"},
                      ErrorCase{"[-1e400]", "number out of range at line 1 column 7"}));

std::string nested(int depth, std::string_view open, std::string_view close,
                   std::string_view inner = "") {
  std::string text;
  for (int k = 0; k < depth; ++k) text += open;
  text += inner;
  for (int k = 0; k < depth; ++k) text += close;
  return text;
}

TEST(ReaderNesting, AcceptsAtMost127OpenContainers) {
  EXPECT_EQ(generic_error(nested(127, "[", "]")), "");
  EXPECT_EQ(generic_error(nested(127, "{\"a\":", "}", "0")), "");
  EXPECT_EQ(generic_error(nested(128, "[", "]")), "recursion limit exceeded at line 1 column 128");
  EXPECT_EQ(generic_error(nested(128, "{\"a\":", "}", "0")),
            "recursion limit exceeded at line 1 column 636");
}

TEST(ReaderNesting, ClosedContainersGiveTheirLevelBack) {
  // Siblings 126 deep inside one array: never more than 127 open at once.
  const std::string deep = nested(126, "[", "]");
  EXPECT_EQ(generic_error("[" + deep + "," + deep + "," + deep + "]"), "");
}

struct NumberCase {
  const char* text;
  Number::Kind kind;
  double value;  // compared after conversion, exact for every case below
};

class NumberKinds : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberKinds, ClassifiesAtTheIntegerBoundaries) {
  Arena arena;
  Reader r(GetParam().text, arena);
  const Json v = read_json(r);
  ASSERT_EQ(v.type(), Json::Type::Number);
  ASSERT_EQ(v.number().kind, GetParam().kind);
  switch (v.number().kind) {
    case Number::Kind::U64:
      EXPECT_EQ(static_cast<double>(v.number().u), GetParam().value);
      break;
    case Number::Kind::I64:
      EXPECT_EQ(static_cast<double>(v.number().i), GetParam().value);
      break;
    case Number::Kind::F64:
      EXPECT_EQ(v.number().f, GetParam().value);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, NumberKinds,
    ::testing::Values(
        NumberCase{"0", Number::Kind::U64, 0},
        NumberCase{"18446744073709551615", Number::Kind::U64, 18446744073709551615.0},
        NumberCase{"18446744073709551616", Number::Kind::F64, 18446744073709551616.0},
        NumberCase{"10000000000000000000", Number::Kind::U64, 1e19},
        NumberCase{"9999999999999999999", Number::Kind::U64, 9999999999999999999.0},
        NumberCase{"99999999999999999999", Number::Kind::F64, 1e20},
        NumberCase{"184467440737095516150", Number::Kind::F64, 1.8446744073709552e20},
        NumberCase{"-0", Number::Kind::F64, -0.0},
        NumberCase{"-18446744073709551615", Number::Kind::F64, -18446744073709551615.0},
        NumberCase{"-1", Number::Kind::I64, -1},
        NumberCase{"-9223372036854775808", Number::Kind::I64, -9223372036854775808.0},
        NumberCase{"-9223372036854775809", Number::Kind::F64, -9223372036854775809.0},
        NumberCase{"-18446744073709551616", Number::Kind::F64, -1.8446744073709552e19},
        NumberCase{"1.0", Number::Kind::F64, 1.0}, NumberCase{"1e2", Number::Kind::F64, 100.0},
        NumberCase{"1E-2", Number::Kind::F64, 0.01}, NumberCase{"1e-400", Number::Kind::F64, 0.0},
        NumberCase{"4.9406564584124654e-324", Number::Kind::F64, 5e-324}));

TEST(NumberKinds, ExtremeValuesAreExact) {
  Arena arena;
  Reader max_text("18446744073709551615", arena);
  EXPECT_EQ(read_json(max_text).number().u, std::numeric_limits<std::uint64_t>::max());
  Reader min_text("-9223372036854775808", arena);
  EXPECT_EQ(read_json(min_text).number().i, std::numeric_limits<std::int64_t>::min());
  Reader negative_zero("-0", arena);
  const Json zero = read_json(negative_zero);
  ASSERT_EQ(zero.number().kind, Number::Kind::F64);
  EXPECT_TRUE(std::signbit(zero.number().f));
}

// Decimal texts are read to the nearest double, ties to even, whatever their length: halfway
// cases between two doubles decided only by the 800th digit, the edges of the subnormal range
// and of the largest finite double, and random mantissas of every length and exponent, against
// the C library's correctly rounded strtod.
TEST(DecimalToDouble, RoundsCorrectly) {
  const auto check = [](const std::string& text) {
    const double expected = std::strtod(text.c_str(), nullptr);
    const auto got = decimal_to_double(text.data(), text.data() + text.size());
    if (std::isinf(expected)) {
      EXPECT_FALSE(got.has_value()) << text;
    } else {
      ASSERT_TRUE(got.has_value()) << text;
      EXPECT_EQ(std::bit_cast<std::uint64_t>(*got), std::bit_cast<std::uint64_t>(expected)) << text;
    }
  };
  // 2**-1074 / 2 and just above it; 2**53 + 1 (a tie) and one digit past it; the largest double
  // and the halfway point above it (which rounds to infinity).
  for (const char* text :
       {"2.4703282292062327e-324", "2.4703282292062328e-324", "9007199254740993",
        "9007199254740993.0000000000000000000000000000000000001", "1.7976931348623157e308",
        "1.7976931348623158e308", "1.797693134862315807e308", "2.2250738585072011e-308",
        "2.2250738585072012e-308", "-0.0", "0e999999", "1e-999999",
        "123456789012345678901234567890"})
    check(text);
  std::string tie = "9007199254740993";
  tie += '.' + std::string(800, '0') + '1';
  check(tie);
  std::mt19937_64 random(20261208);
  for (int k = 0; k < 20000; ++k) {
    std::string text = random() % 2 ? "-" : "";
    const std::size_t digits = 1 + random() % (k % 10 == 0 ? 60 : 19);
    text += static_cast<char>('1' + random() % 9);
    for (std::size_t d = 1; d < digits; ++d) text += static_cast<char>('0' + random() % 10);
    if (random() % 2) text.insert(text.size() - random() % digits, 1, '.');
    if (text.back() == '.') text += '0';
    text += 'e' + std::to_string(static_cast<int>(random() % 700) - 350);
    check(text);
  }
}

struct TypedCase {
  const char* text;
  const char* message;  // empty: reads
};

class TypedIntegers : public ::testing::TestWithParam<std::pair<bool, TypedCase>> {};

TEST_P(TypedIntegers, RefuseWhatTheTypeCannotHold) {
  const bool is_u64 = GetParam().first;
  const TypedCase& c = GetParam().second;
  const std::string message = read_error(c.text, [&](Reader& r) {
    if (is_u64)
      r.read_u64();
    else
      r.read_i64();
  });
  EXPECT_EQ(message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, TypedIntegers,
    ::testing::Values(
        std::pair{true, TypedCase{"18446744073709551615", ""}},
        std::pair{true,
                  TypedCase{"-1", "invalid value: integer `-1`, expected u64 at line 1 column 2"}},
        std::pair{true, TypedCase{"1.5",
                                  "invalid type: floating point `1.5`, expected u64 at line 1 "
                                  "column 3"}},
        std::pair{true, TypedCase{"18446744073709551616",
                                  "invalid type: floating point `1.8446744073709552e19`, expected "
                                  "u64 at line 1 column 20"}},
        std::pair{true, TypedCase{"\"7\"",
                                  "invalid type: string \"7\", expected u64 at line 1 "
                                  "column 3"}},
        std::pair{false, TypedCase{"9223372036854775807", ""}},
        std::pair{false, TypedCase{"-9223372036854775808", ""}},
        std::pair{false, TypedCase{"9223372036854775808",
                                   "invalid value: integer `9223372036854775808`, expected i64 at "
                                   "line 1 column 19"}},
        std::pair{false, TypedCase{"-0",
                                   "invalid type: floating point `-0.0`, expected i64 at line "
                                   "1 column 2"}},
        std::pair{false, TypedCase{"[1]",
                                   "invalid type: sequence, expected i64 at line 1 column "
                                   "0"}}));

TEST(ReaderStrings, DecodesEscapesAndSurrogatePairs) {
  Arena arena;
  Reader r(R"(["\"\\\/\b\f\n\r\t", "\u00e9\u20ac", "\ud83d\ude00", "plain"])", arena);
  const Json v = read_json(r);
  ASSERT_EQ(v.items().size(), 4u);
  EXPECT_EQ(v.items()[0].string(), "\"\\/\b\f\n\r\t");
  EXPECT_EQ(v.items()[1].string(), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(v.items()[2].string(), "\xF0\x9F\x98\x80");
  EXPECT_EQ(v.items()[3].string(), "plain");
}

TEST(ReaderStrings, RawBytesAreCheckedOnlyWhenAsked) {
  const auto read = [](Reader& r) { read_json(r); };
  EXPECT_EQ(read_error("\"\xFF\"", read), "");
  EXPECT_EQ(read_error("\"\xFF\"", read, /*check_utf8=*/true),
            "invalid unicode code point at line 1 column 3");
  EXPECT_EQ(read_error("\"\xC3\xA9\"", read, /*check_utf8=*/true), "");
}

// A record with one known field `a`: everything else is stepped over.
std::string record_error(std::string_view text, std::uint64_t* a = nullptr) {
  static constexpr FieldSpec kFields[] = {{"a"}};
  return read_error(text, [&](Reader& r) {
    read_fields(r, "struct R", kFields, [&](std::size_t) {
      const std::uint64_t v = r.read_u64();
      if (a) *a = v;
    });
  });
}

TEST(ReaderSkipping, StepsOverUnknownMembersOfAnyShape) {
  std::uint64_t a = 0;
  EXPECT_EQ(record_error(R"({"x":[1,{"y":"\u00e9\"","z":[[],{}]}],"b":-2.5e3,"a":5,"c":null})", &a),
            "");
  EXPECT_EQ(a, 5u);
  // Only the form of a skipped value counts: neither its range nor its code points.
  EXPECT_EQ(record_error(R"({"x":1e999,"y":"\udc00","a":1})"), "");
  // Nor its depth.
  EXPECT_EQ(record_error("{\"x\":" + nested(300, "[", "]") + ",\"a\":1}"), "");
}

TEST(ReaderSkipping, FaultsInsideSkippedValuesAreReported) {
  EXPECT_EQ(record_error(R"({"x":[1 2],"a":1})"), "expected `,` or `]` at line 1 column 9");
  EXPECT_EQ(record_error(R"({"x":{"k" 1},"a":1})"), "expected `:` at line 1 column 11");
  EXPECT_EQ(record_error(R"({"x":{1:1},"a":1})"), "key must be a string at line 1 column 7");
  EXPECT_EQ(record_error(R"({"x":"\q","a":1})"), "invalid escape at line 1 column 8");
  EXPECT_EQ(record_error(R"({"x":[1,2)"), "EOF while parsing a list at line 1 column 9");
  EXPECT_EQ(record_error(R"({"x":{"k":1)"), "EOF while parsing an object at line 1 column 11");
  EXPECT_EQ(record_error(R"({"x":01,"a":1})"), "invalid number at line 1 column 7");
  EXPECT_EQ(record_error(R"({"x":-,"a":1})"), "invalid number at line 1 column 7");
  EXPECT_EQ(record_error(R"({"x":nul,"a":1})"), "expected ident at line 1 column 9");
  EXPECT_EQ(record_error(R"({"x":}")"), "expected value at line 1 column 6");
}

TEST(ReaderRecords, MissingAndDuplicateFields) {
  EXPECT_EQ(record_error("{}"), "missing field `a` at line 1 column 2");
  EXPECT_EQ(record_error("{\"a\":1,\"a\":2}"), "duplicate field `a` at line 1 column 10");
  EXPECT_EQ(record_error("[]"),
            "invalid length 0, expected struct R with 1 element at line 1 column 2");
  EXPECT_EQ(record_error("[1,2]"), "trailing characters at line 1 column 4");
  EXPECT_EQ(record_error("7"), "invalid type: integer `7`, expected struct R at line 1 column 1");
}

}  // namespace
}  // namespace vorlik::json
