#include "belvane/frame.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace vorlik::belvane {
namespace {

std::string be32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::string frame_of(std::string_view header, std::string_view payload) {
  return be32(static_cast<std::uint32_t>(header.size())) + std::string(header) +
         be32(static_cast<std::uint32_t>(payload.size())) + std::string(payload);
}

// The message read_frame fails with, or "" when it reads a frame.
std::string error_of(std::string_view bytes) {
  try {
    read_frame(bytes);
  } catch (const WireError& e) {
    return e.what();
  }
  return "";
}

TEST(Frame, WritesTheHeaderInDeclaredOrderAndReadsItBack) {
  const Header header{"application/msgpack", "page \"\xC3\xA9\"\n", 3,
                      std::numeric_limits<std::uint64_t>::max(), FrameKind::Patch};
  EXPECT_EQ(write_header(header),
            "{\"codec\":\"application/msgpack\",\"model_type\":\"page \\\"\xC3\xA9\\\"\\n\","
            "\"target\":3,\"rev\":18446744073709551615,\"kind\":\"Patch\"}");
  const std::string payload("\x00\x01\xff{}", 5);
  const std::string bytes = write_frame(header, payload);
  EXPECT_EQ(bytes, frame_of(write_header(header), payload));
  const std::string extended = bytes + "ignored";
  const Frame frame = read_frame(extended);
  EXPECT_EQ(frame.header, header);
  EXPECT_EQ(frame.payload, payload);
}

TEST(Frame, EveryCutIsTruncated) {
  const std::string bytes =
      write_frame({"application/json", "m", 0, 7, FrameKind::Snapshot}, "[1]");
  for (std::size_t n = 0; n < bytes.size(); ++n)
    EXPECT_EQ(error_of(std::string_view(bytes).substr(0, n)), "truncated frame") << n;
}

struct HeaderCase {
  const char* header;
  const char* message;
};

class BadHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(BadHeader, CarriesTheReadersMessage) {
  EXPECT_EQ(error_of(frame_of(GetParam().header, "{}")),
            std::string("bad frame header: ") + GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BadHeader,
    ::testing::Values(HeaderCase{"", "EOF while parsing a value at line 1 column 0"},
                      HeaderCase{"[\"c\",\"m\",0,-1,\"Patch\"]",
                                 "invalid value: integer `-1`, expected u64 at line 1 column 13"},
                      HeaderCase{"[\"c\",\"m\",0,1,\"Patch\"] x",
                                 "trailing characters at line 1 column 23"}));

TEST(Frame, ABadHeaderIsReportedBeforeAMissingPayloadLength) {
  const std::string header = "{\"codec\":1}";
  const std::string cut = be32(static_cast<std::uint32_t>(header.size())) + header;
  EXPECT_EQ(error_of(cut),
            "bad frame header: invalid type: integer `1`, expected a string at line 1 column 10");
}

// The message check_part_size fails with, or "" when the size fits.
std::string oversize_message(std::string_view part, std::uint64_t size) {
  try {
    check_part_size(part, size);
  } catch (const WireError& e) {
    return e.what();
  }
  return "";
}

TEST(Frame, OversizeMessageAtTheLengthFieldLimit) {
  EXPECT_EQ(oversize_message("payload", 0xFFFFFFFFu), "");
  EXPECT_EQ(oversize_message("payload", 0x100000000u),
            "payload too large for a frame: 4294967296 bytes (at most 4294967295)");
  EXPECT_EQ(oversize_message("header", std::numeric_limits<std::uint64_t>::max()),
            "header too large for a frame: 18446744073709551615 bytes (at most 4294967295)");
}

}  // namespace
}  // namespace vorlik::belvane
