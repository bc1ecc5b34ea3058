// The frame envelope: a length-prefixed JSON header followed by length-prefixed payload bytes.
//
//   [H: u32 BE] [header: H bytes of JSON] [P: u32 BE] [payload: P bytes]
//
// The envelope never looks into the payload; what the payload holds is named by the header's
// codec and is the business of the layer above.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace vorlik::json {
class Reader;
}

namespace vorlik::belvane {

enum class FrameKind : std::uint8_t { Snapshot, Patch };

struct Header {
  std::string codec;
  std::string model_type;
  std::uint64_t target = 0;
  std::uint64_t rev = 0;
  FrameKind kind = FrameKind::Snapshot;

  bool operator==(const Header&) const = default;
};

// Largest header or payload a 32-bit length field can express.
inline constexpr std::uint64_t kMaxPartSize = 0xFFFFFFFFu;

// Why a part of `size` bytes cannot be framed ("payload too large for a frame: ..."), or
// nothing when it fits its length field.
std::optional<std::string> oversize_message(std::string_view part, std::uint64_t size);

// Thrown by write_frame instead of wrapping a length field.
class FrameTooLarge : public std::length_error {
 public:
  using std::length_error::length_error;
};

// The header as compact JSON, members in declared order.
std::string write_header(const Header& header);

// Throws FrameTooLarge when the header text or the payload exceeds kMaxPartSize bytes.
std::string write_frame(const Header& header, std::string_view payload);

// Reads a header from JSON in object or array form.
Header read_header(json::Reader& reader);

struct Frame {
  Header header;
  std::string payload;
};

struct FrameError {
  enum class Kind : std::uint8_t { Truncated, BadHeader };
  Kind kind = Kind::Truncated;
  std::string detail;  // the JSON reader's message for BadHeader

  std::string text() const;
};

// Bytes after the payload are ignored.
std::variant<Frame, FrameError> read_frame(std::string_view bytes);

}  // namespace vorlik::belvane
