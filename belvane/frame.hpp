// The frame envelope: a length-prefixed JSON header followed by length-prefixed payload bytes.
//
//   [H: u32 BE] [header: H bytes of JSON] [P: u32 BE] [payload: P bytes]
//
// The envelope never looks into the payload; what the payload holds is named by the header's
// codec and is the business of the layer above.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "belvane/wire_error.hpp"

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

// Throws WireError ("payload too large for a frame: ...") when a part of `size` bytes does not
// fit its length field.
void check_part_size(std::string_view part, std::uint64_t size);

// The header as compact JSON, members in declared order.
std::string write_header(const Header& header);

// Throws WireError when the header text or the payload exceeds kMaxPartSize bytes.
std::string write_frame(const Header& header, std::string_view payload);

// A frame whose payload is written in place: open_frame writes the header, with room for the
// payload length, into the empty `out` and returns where the payload starts; once the payload
// has been appended, close_frame fills in the lengths, throwing WireError as write_frame does.
std::size_t open_frame(std::string& out, const Header& header);
void close_frame(std::string& out, std::size_t payload_at);

// Reads a header from JSON in object or array form.
Header read_header(json::Reader& reader);

struct Frame {
  Header header;
  std::string_view payload;  // views the bytes read
};

// Throws WireError: "truncated frame", or "bad frame header: " and the JSON reader's message.
// Bytes after the payload are ignored.
Frame read_frame(std::string_view bytes);

}  // namespace vorlik::belvane
