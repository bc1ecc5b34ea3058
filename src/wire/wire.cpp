// The frame entry points: encode_frame and decode_frame.
#include "src/wire/wire.hpp"

#include <string>

#include "belvane/frame.hpp"
#include "belvane/wire_error.hpp"
#include "jsonio/transcode.hpp"
#include "jsonio/utf8.hpp"
#include "src/boundary/guard.hpp"
#include "src/wire/codec.hpp"
#include "src/wire/json_to_msgpack.hpp"
#include "src/wire/msgpack.hpp"

namespace vorlik {

namespace {

using belvane::WireError;

// guarded() for the wire: its errors carry the final message.
template <class Body>
Outcome wire_guarded(Body&& body) noexcept {
  return guarded([&] {
    try {
      return body();
    } catch (WireError& e) {
      throw Failure{e.take_message()};
    }
  });
}

// Reads one JSON text and appends it packed as MessagePack, in one pass without a document.
void pack_payload(std::string_view text, std::string& out) {
  Arena arena;  // strings that had to be unescaped, and the maps to put in order
  json::Reader reader(text, arena);
  try {
    wire::pack_json(reader, out);
    reader.finish();
  } catch (const json::ReadError& e) {
    throw WireError(json::format_error(text, e));
  }
}

// Reads one JSON text and writes it in normal form (sorted keys, the writer's numbers).
void transcode_payload(std::string_view text, json::Writer& out) {
  Arena arena(text.size());  // the pieces of the text, and strings that had to be unescaped
  json::Reader reader(text, arena);
  try {
    json::transcode(reader, out);
    reader.finish();
  } catch (const json::ReadError& e) {
    throw WireError(json::format_error(text, e));
  }
}

}  // namespace

Outcome encode_frame(std::string_view payload, std::string_view model_type, std::string_view kind,
                     std::uint64_t rev, std::string_view codec) noexcept {
  return wire_guarded([&] {
    const auto found = wire::find_codec(codec);
    if (!found) throw WireError("unknown codec: " + std::string(codec));
    belvane::Header header;
    const bool known_kind = kind == "snapshot" || kind == "patch";
    header.kind = kind == "patch" ? belvane::FrameKind::Patch : belvane::FrameKind::Snapshot;
    header.codec = codec;
    header.model_type = model_type;
    header.rev = rev;
    // The payload's faults are reported before the kind's.
    auto check_kind = [&] {
      if (!known_kind) throw WireError("unknown frame kind: " + std::string(kind));
    };
    if (*found == wire::Codec::Json) {  // JSON text travels as it is, unchecked
      check_kind();
      return belvane::write_frame(header, payload);
    }
    std::string frame;
    const std::size_t at = belvane::open_frame(frame, header);
    // Packed, a payload is shorter than its JSON text: the frame takes one block.
    frame.reserve(at + payload.size());
    pack_payload(payload, frame);
    check_kind();
    belvane::close_frame(frame, at);
    return frame;
  });
}

Outcome decode_frame(std::string_view bytes) noexcept {
  return wire_guarded([&] {
    const belvane::Frame frame = belvane::read_frame(bytes);
    const auto found = wire::find_codec(frame.header.codec);
    if (!found) throw WireError("unknown codec: " + frame.header.codec);

    json::Writer w;
    // Room for the whole result at once: a text grown by doubling leaves a trail of freed
    // blocks that the allocator gives back to the system, to be faulted in again next call.
    w.reserve(frame.header.model_type.size() + 64 +
              frame.payload.size() * (*found == wire::Codec::Json ? 1 : 2));
    w.raw(frame.header.kind == belvane::FrameKind::Snapshot ? "{\"kind\":\"snapshot\""
                                                            : "{\"kind\":\"patch\"");
    w.raw(",\"model_type\":");
    w.string(frame.header.model_type);
    w.raw(",\"payload\":");
    if (*found == wire::Codec::Json) {
      if (auto fault = json::find_utf8_fault(frame.payload))
        throw WireError(json::describe_utf8_fault(*fault));
      transcode_payload(frame.payload, w);
    } else {
      const std::size_t start = w.size();
      Arena arena;  // the maps to put in order
      // Within the JSON nesting limit the written value reads back as itself; a deeper one goes
      // through the JSON reader so that the failure names the place where the reader gives up.
      if (wire::msgpack_to_json(frame.payload, w, arena) > std::size_t{json::kMaxDepth}) {
        json::Writer ignored;
        transcode_payload(w.view().substr(start), ignored);
      }
    }
    w.raw(",\"rev\":");
    w.u64(frame.header.rev);
    w.raw('}');
    return w.take();
  });
}

}  // namespace vorlik
