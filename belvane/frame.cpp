#include "belvane/frame.hpp"

#include "containers/arena.hpp"
#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"
#include "jsonio/record.hpp"
#include "jsonio/variant.hpp"
#include "jsonio/writer.hpp"

namespace vorlik::belvane {

namespace {

constexpr std::string_view kKindNames[] = {"Snapshot", "Patch"};

constexpr json::FieldSpec kFields[] = {{"codec"}, {"model_type"}, {"target"}, {"rev"}, {"kind"}};

std::string_view kind_name(FrameKind kind) {
  return kKindNames[static_cast<std::size_t>(kind)];
}

void set_u32(std::string& out, std::size_t at, std::uint32_t v) {
  for (std::size_t k = 0; k < 4; ++k) out[at + k] = static_cast<char>(v >> (24 - 8 * k));
}

std::uint64_t get_u32(std::string_view bytes, std::size_t at) {
  std::uint64_t v = 0;
  for (std::size_t k = 0; k < 4; ++k) v = (v << 8) | static_cast<unsigned char>(bytes[at + k]);
  return v;
}

}  // namespace

void check_part_size(std::string_view part, std::uint64_t size) {
  if (size <= kMaxPartSize) return;
  std::string message(part);
  message += " too large for a frame: " + std::to_string(size) + " bytes (at most " +
             std::to_string(kMaxPartSize) + ")";
  throw WireError(message);
}

std::string write_header(const Header& header) {
  json::Writer w;
  w.raw("{\"codec\":");
  w.string(header.codec);
  w.raw(",\"model_type\":");
  w.string(header.model_type);
  w.raw(",\"target\":");
  w.u64(header.target);
  w.raw(",\"rev\":");
  w.u64(header.rev);
  w.raw(",\"kind\":\"");
  w.raw(kind_name(header.kind));
  w.raw("\"}");
  return w.take();
}

std::string write_frame(const Header& header, std::string_view payload) {
  std::string frame;
  const std::size_t at = open_frame(frame, header);
  // Checked before the payload is copied.
  check_part_size("header", at - 8);
  check_part_size("payload", payload.size());
  frame.reserve(at + payload.size());
  frame.append(payload);
  close_frame(frame, at);
  return frame;
}

std::size_t open_frame(std::string& out, const Header& header) {
  out.assign(4, '\0');
  out.append(write_header(header));
  out.append(4, '\0');
  return out.size();
}

void close_frame(std::string& out, std::size_t payload_at) {
  const std::size_t head = payload_at - 8;
  const std::size_t payload = out.size() - payload_at;
  check_part_size("header", head);
  check_part_size("payload", payload);
  set_u32(out, 0, static_cast<std::uint32_t>(head));
  set_u32(out, payload_at - 4, static_cast<std::uint32_t>(payload));
}

Header read_header(json::Reader& r) {
  Header h;
  json::read_fields(r, "struct Header", kFields, [&](std::size_t field) {
    switch (field) {
      case 0:
        h.codec = r.read_str();
        break;
      case 1:
        h.model_type = r.read_str();
        break;
      case 2:
        h.target = r.read_u64();
        break;
      case 3:
        h.rev = r.read_u64();
        break;
      default:
        h.kind = static_cast<FrameKind>(json::read_unit_variant(r, kKindNames));
    }
  });
  return h;
}

Frame read_frame(std::string_view bytes) {
  // All sums in 64 bits: two 32-bit lengths plus 8 cannot wrap.
  const std::uint64_t n = bytes.size();
  const auto truncated = [] { return WireError("truncated frame"); };
  if (n < 4) throw truncated();
  const std::uint64_t h = get_u32(bytes, 0);
  if (4 + h > n) throw truncated();

  // Offsets and lengths are narrowed to size_t only once they are known to lie within `bytes`.
  // The header is judged before the payload length, so a cut-off frame with a malformed
  // header reports the header.
  const std::string_view text = bytes.substr(4, static_cast<std::size_t>(h));
  Frame frame;
  try {
    Arena arena;
    json::Reader reader(text, arena, /*check_utf8=*/true);
    frame.header = read_header(reader);
    reader.finish();
  } catch (const json::ReadError& e) {
    throw WireError("bad frame header: " + json::format_error(text, e));
  }

  if (8 + h > n) throw truncated();
  const std::uint64_t p = get_u32(bytes, static_cast<std::size_t>(4 + h));
  if (8 + h + p > n) throw truncated();
  frame.payload = bytes.substr(static_cast<std::size_t>(8 + h), static_cast<std::size_t>(p));
  return frame;
}

}  // namespace vorlik::belvane
