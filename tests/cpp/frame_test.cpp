#include "belvane/frame.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <variant>

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

const FrameError* error_of(const std::variant<Frame, FrameError>& result) {
  return std::get_if<FrameError>(&result);
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
  const auto result = read_frame(bytes + "ignored");
  ASSERT_TRUE(std::holds_alternative<Frame>(result));
  EXPECT_EQ(std::get<Frame>(result).header, header);
  EXPECT_EQ(std::get<Frame>(result).payload, payload);
}

TEST(Frame, EveryCutIsTruncated) {
  const std::string bytes =
      write_frame({"application/json", "m", 0, 7, FrameKind::Snapshot}, "[1]");
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    const auto result = read_frame(std::string_view(bytes).substr(0, n));
    const FrameError* error = error_of(result);
    ASSERT_NE(error, nullptr) << n;
    EXPECT_EQ(error->kind, FrameError::Kind::Truncated) << n;
    EXPECT_EQ(error->text(), "truncated frame");
  }
}

struct HeaderCase {
  const char* header;
  const char* message;
};

class BadHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(BadHeader, CarriesTheReadersMessage) {
  const auto result = read_frame(frame_of(GetParam().header, "{}"));
  const FrameError* error = error_of(result);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->kind, FrameError::Kind::BadHeader);
  EXPECT_EQ(error->text(), std::string("bad frame header: ") + GetParam().message);
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
  const auto result = read_frame(cut);
  ASSERT_NE(error_of(result), nullptr);
  EXPECT_EQ(error_of(result)->kind, FrameError::Kind::BadHeader);
}

TEST(Frame, OversizeMessageAtTheLengthFieldLimit) {
  EXPECT_FALSE(oversize_message("payload", 0xFFFFFFFFu).has_value());
  EXPECT_EQ(oversize_message("payload", 0x100000000u),
            "payload too large for a frame: 4294967296 bytes (at most 4294967295)");
  EXPECT_EQ(oversize_message("header", std::numeric_limits<std::uint64_t>::max()),
            "header too large for a frame: 18446744073709551615 bytes (at most 4294967295)");
}

}  // namespace
}  // namespace vorlik::belvane
