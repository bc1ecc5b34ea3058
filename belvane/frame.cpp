#include "belvane/frame.hpp"

#include "jsonio/arena.hpp"
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

void put_u32(std::string& out, std::uint32_t v) {
  const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                         static_cast<char>(v >> 8), static_cast<char>(v)};
  out.append(bytes, 4);
}

std::uint64_t get_u32(std::string_view bytes, std::size_t at) {
  std::uint64_t v = 0;
  for (std::size_t k = 0; k < 4; ++k) v = (v << 8) | static_cast<unsigned char>(bytes[at + k]);
  return v;
}

}  // namespace

std::optional<std::string> oversize_message(std::string_view part, std::uint64_t size) {
  if (size <= kMaxPartSize) return std::nullopt;
  std::string message(part);
  message += " too large for a frame: " + std::to_string(size) + " bytes (at most " +
             std::to_string(kMaxPartSize) + ")";
  return message;
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
  const std::string head = write_header(header);
  for (auto [part, size] : {std::pair{"header", head.size()}, std::pair{"payload", payload.size()}})
    if (auto message = oversize_message(part, size)) throw FrameTooLarge(*message);
  std::string frame;
  frame.reserve(8 + head.size() + payload.size());
  put_u32(frame, static_cast<std::uint32_t>(head.size()));
  frame.append(head);
  put_u32(frame, static_cast<std::uint32_t>(payload.size()));
  frame.append(payload);
  return frame;
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

std::string FrameError::text() const {
  if (kind == Kind::Truncated) return "truncated frame";
  return "bad frame header: " + detail;
}

std::variant<Frame, FrameError> read_frame(std::string_view bytes) {
  // All sums in 64 bits: two 32-bit lengths plus 8 cannot wrap.
  const std::uint64_t n = bytes.size();
  const FrameError truncated{FrameError::Kind::Truncated, {}};
  if (n < 4) return truncated;
  const std::uint64_t h = get_u32(bytes, 0);
  if (4 + h > n) return truncated;

  // The header is judged before the payload length, so a cut-off frame with a malformed
  // header reports the header.
  const std::string_view text = bytes.substr(4, h);
  Frame frame;
  try {
    json::Arena arena;
    json::Reader reader(text, arena, /*check_utf8=*/true);
    frame.header = read_header(reader);
    reader.finish();
  } catch (const json::ReadError& e) {
    return FrameError{FrameError::Kind::BadHeader, json::format_error(text, e)};
  }

  if (8 + h > n) return truncated;
  const std::uint64_t p = get_u32(bytes, 4 + h);
  if (8 + h + p > n) return truncated;
  frame.payload.assign(bytes.substr(8 + h, p));
  return frame;
}

}  // namespace vorlik::belvane
