// The frame entry points: encode_frame and decode_frame.
#include <string>
#include <variant>

#include "belvane/frame.hpp"
#include "jsonio/transcode.hpp"
#include "jsonio/utf8.hpp"
#include "src/api.hpp"
#include "src/guard.hpp"
#include "src/wire/json_to_msgpack.hpp"
#include "src/wire/msgpack.hpp"

namespace vorlik {

namespace {

// Arrays and objects the JSON reader lets stand open at once.
constexpr std::size_t kJsonDepthLimit = 127;

// Reads one JSON text and packs it as MessagePack, in one pass without a document.
std::string pack_payload(std::string_view text) {
  json::Arena arena;
  json::Reader reader(text, arena);
  std::string packed;
  try {
    wire::pack_json(reader, packed);
    reader.finish();
  } catch (const json::ReadError& e) {
    throw Failure{json::format_error(text, e)};
  }
  return packed;
}

// Reads one JSON text and writes it in normal form (sorted keys, the writer's numbers).
void transcode_payload(std::string_view text, json::Writer& out) {
  json::Arena arena;
  json::Reader reader(text, arena);
  try {
    json::transcode(reader, out);
    reader.finish();
  } catch (const json::ReadError& e) {
    throw Failure{json::format_error(text, e)};
  }
}

}  // namespace

Outcome encode_frame(std::string_view payload, std::string_view model_type, std::string_view kind,
                     std::uint64_t rev, std::string_view codec) noexcept {
  return guarded([&] {
    const auto found = wire::find_codec(codec);
    if (!found) throw Failure{"unknown codec: " + std::string(codec)};
    std::string packed;
    std::string_view body = payload;  // JSON text travels as it is, unchecked
    if (*found == wire::Codec::MsgPack) {
      packed = pack_payload(payload);
      body = packed;
    }

    belvane::Header header;
    if (kind == "snapshot")
      header.kind = belvane::FrameKind::Snapshot;
    else if (kind == "patch")
      header.kind = belvane::FrameKind::Patch;
    else
      throw Failure{"unknown frame kind: " + std::string(kind)};
    header.codec = codec;
    header.model_type = model_type;
    header.rev = rev;
    try {
      return belvane::write_frame(header, body);
    } catch (const belvane::FrameTooLarge& e) {
      throw Failure{e.what()};
    }
  });
}

Outcome decode_frame(std::string_view bytes) noexcept {
  return guarded([&] {
    auto read = belvane::read_frame(bytes);
    if (auto* error = std::get_if<belvane::FrameError>(&read)) throw Failure{error->text()};
    const belvane::Frame& frame = std::get<belvane::Frame>(read);
    const auto found = wire::find_codec(frame.header.codec);
    if (!found) throw Failure{"unknown codec: " + frame.header.codec};

    json::Writer w;
    w.raw(frame.header.kind == belvane::FrameKind::Snapshot ? "{\"kind\":\"snapshot\""
                                                            : "{\"kind\":\"patch\"");
    w.raw(",\"model_type\":");
    w.string(frame.header.model_type);
    w.raw(",\"payload\":");
    if (*found == wire::Codec::Json) {
      if (auto fault = json::find_utf8_fault(frame.payload))
        throw Failure{json::describe_utf8_fault(*fault)};
      transcode_payload(frame.payload, w);
    } else {
      const wire::Decoded decoded = wire::from_msgpack(frame.payload);
      // Within the JSON nesting limit the written value reads back as itself; a deeper one goes
      // through the JSON reader so that the failure names the place where the reader gives up.
      if (decoded.depth > kJsonDepthLimit) {
        json::Writer text;
        json::write_json(text, decoded.value);
        json::Writer ignored;
        transcode_payload(text.buffer(), ignored);
      }
      json::write_json(w, decoded.value);
    }
    w.raw(",\"rev\":");
    w.u64(frame.header.rev);
    w.raw('}');
    return w.take();
  });
}

}  // namespace vorlik
