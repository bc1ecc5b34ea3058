// Maps written out member by member in the order they were read, put into map order once the
// whole text is written.
//
// A writer appends its text as it reads and tells this helper where each map's members start
// and end. A map whose members came out of order (or repeated) is not moved: it is noted as a
// rewrite of its stretch of the text, made of its members' stretches in map order, and a map
// closing around it links that rewrite into its own without copying it. Other stretches can be
// rewritten the same way: white space dropped, a token spelt anew, a length field that grew.
// gather() then copies every byte once into the final text, so the cost stays linear in the
// text however deep the maps nest. A text without rewrites needs no gathering at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "containers/arena.hpp"
#include "containers/ordered.hpp"
#include "containers/stack.hpp"

namespace vorlik {

class OrderedText {
 public:
  // Offsets count bytes of the text being written (the source of gather()). `separator` stands
  // between two members in the final text: "," in JSON text, nothing in MessagePack.
  OrderedText(Arena& arena, std::string_view separator)
      : frames_(arena), members_(arena), regions_(arena), pieces_(arena), separator_(separator) {}

  // --- Maps, while the text is written ---------------------------------------------------------

  void open_map() { frames_.push({members_.size(), true}); }
  // A member of the innermost open map starts at `at`, with its key. The key must stay valid
  // until the map closes.
  [[gnu::always_inline]] void member(std::string_view key, std::size_t at) {
    Frame& f = frames_.back();
    if (members_.size() > f.base && !key_less(members_.back().name(), key)) f.in_order = false;
    Member& m = members_.emplace();
    m.key = key.data();
    m.key_size = key.size();
    m.start = at;
    m.end = at;
  }
  // The member started last ends at `at`: what follows (a separator, white space) is not its.
  [[gnu::always_inline]] void member_end(std::size_t at) { members_.back().end = at; }
  // The innermost map closes; its members stood in [body, end). Returns how many it keeps.
  [[gnu::always_inline]] std::size_t close_map(std::size_t body, std::size_t end) {
    const Frame f = frames_.pop();
    const std::size_t n = members_.size() - f.base;
    if (f.in_order) {
      members_.shrink(f.base);
      return n;
    }
    return reorder(f.base, body, end);
  }

  // --- Other rewrites --------------------------------------------------------------------------

  // The stretch [at, at + len) is written as `bytes` instead; the stretch after it, up to
  // `through`, follows as written, its own rewrites kept. Stretches are rewritten in the order of
  // the text, or around the ones already rewritten.
  void rewrite(std::size_t at, std::size_t len, std::string_view bytes, std::size_t through);
  void rewrite(std::size_t at, std::size_t len, std::string_view bytes) {
    rewrite(at, len, bytes, at + len);
  }

  // --- The final text --------------------------------------------------------------------------

  bool rewritten() const { return !regions_.empty(); }
  // The length of the final text of a source of `size` bytes.
  std::size_t gathered_size(std::size_t size) const;
  // Writes the final text of `source` to `out`, which has room for gathered_size(); returns the
  // end of what was written.
  char* gather(std::string_view source, char* out) const;

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  // Piece offsets at or above this one lie in the rewritten bytes.
  static constexpr std::uint64_t kSide = std::uint64_t{1} << 63;

  struct Frame {
    std::size_t base;  // the map's first member in members_
    bool in_order;     // keys so far strictly ascending
  };
  struct Member {
    const char* key;
    std::size_t key_size;
    std::size_t start;
    std::size_t end;
    std::string_view name() const { return {key, key_size}; }
  };
  // A stretch [start, end) of the source written as the chain of pieces from `head` to `tail`,
  // `len` bytes long.
  struct Region {
    std::size_t start;
    std::size_t end;
    std::size_t len;
    std::uint32_t head;
    std::uint32_t tail;
  };
  struct Piece {
    std::uint64_t off;  // in the source, or (at kSide and above) in the rewritten bytes
    std::uint32_t len;
    std::uint32_t next;
  };
  // A chain being built.
  struct Chain {
    std::uint32_t head = kNone;
    std::uint32_t tail = kNone;
    std::size_t len = 0;
  };

  std::size_t reorder(std::size_t base, std::size_t body, std::size_t end);
  std::size_t close_reordered(std::size_t r0, std::size_t base, std::size_t body, std::size_t end,
                              const Chain& chain, std::size_t kept);
  // The first of the regions on the stack that start at `at` or later.
  std::size_t regions_from(std::size_t at) const;
  // Appends the stretch [from, to) of the source, with the regions regions_[r, ...) that lie
  // within it, to `chain`; returns the first region past `to`.
  std::size_t append_stretch(Chain& chain, std::size_t from, std::size_t to, std::size_t r);
  void append_piece(Chain& chain, std::uint64_t off, std::size_t len);
  void append_side(Chain& chain, std::string_view bytes);
  void append_chain(Chain& chain, const Region& region);
  // Where the separator lies among the rewritten bytes.
  std::uint64_t separator();

  ArenaStack<Frame> frames_;
  ArenaStack<Member> members_;  // the members of all open maps, innermost last
  ArenaStack<Region> regions_;  // the outermost rewrites, in the order of the text
  ArenaStack<Piece> pieces_;
  std::string side_;  // rewritten bytes
  std::string_view separator_;
  std::size_t separator_at_ = SIZE_MAX;
  // Reused by every reordering: the members' order, and the first region of each.
  std::unique_ptr<std::uint32_t[]> scratch_;
  std::size_t scratch_size_ = 0;
};

// --- Rewrites ---------------------------------------------------------------------------------

inline std::size_t OrderedText::regions_from(std::size_t at) const {
  std::size_t r = regions_.size();
  while (r > 0 && regions_[r - 1].start >= at) --r;
  return r;
}

inline void OrderedText::append_piece(Chain& chain, std::uint64_t off, std::size_t len) {
  if (len == 0) return;
  // A stretch that goes on where the chain's last piece ends in the same bytes extends it.
  if (chain.tail != kNone) {
    Piece& tail = pieces_[chain.tail];
    if (tail.off + tail.len == off && len <= UINT32_MAX - 1 - tail.len) {
      tail.len += static_cast<std::uint32_t>(len);
      chain.len += len;
      return;
    }
  }
  // A piece holds under four billion bytes: longer stretches take several.
  while (len > 0) {
    const auto part = static_cast<std::uint32_t>(len < UINT32_MAX ? len : UINT32_MAX - 1);
    const auto index = static_cast<std::uint32_t>(pieces_.size());
    if (index == kNone) throw std::bad_alloc();
    pieces_.push({off, part, kNone});
    if (chain.tail == kNone)
      chain.head = index;
    else
      pieces_[chain.tail].next = index;
    chain.tail = index;
    chain.len += part;
    off += part;
    len -= part;
  }
}

inline void OrderedText::append_side(Chain& chain, std::string_view bytes) {
  const std::size_t at = side_.size();
  side_.append(bytes);
  append_piece(chain, kSide | at, bytes.size());
}

inline std::uint64_t OrderedText::separator() {
  if (separator_at_ == SIZE_MAX) {
    separator_at_ = side_.size();
    side_.append(separator_);
  }
  return kSide | separator_at_;
}

inline void OrderedText::append_chain(Chain& chain, const Region& region) {
  if (region.head != kNone) {
    if (chain.tail == kNone)
      chain.head = region.head;
    else
      pieces_[chain.tail].next = region.head;
    chain.tail = region.tail;
  }
  chain.len += region.len;
}

inline std::size_t OrderedText::append_stretch(Chain& chain, std::size_t from, std::size_t to,
                                               std::size_t r) {
  for (; r < regions_.size() && regions_[r].start < to; ++r) {
    const Region& inner = regions_[r];
    append_piece(chain, from, inner.start - from);
    append_chain(chain, inner);
    from = inner.end;
  }
  append_piece(chain, from, to - from);
  return r;
}

inline void OrderedText::rewrite(std::size_t at, std::size_t len, std::string_view bytes,
                                 std::size_t through) {
  const std::size_t r = regions_from(at);
  Chain chain;
  if (!bytes.empty()) append_side(chain, bytes);
  append_stretch(chain, at + len, through, r);
  regions_.shrink(r);
  regions_.push({at, through, chain.len, chain.head, chain.tail});
}

[[gnu::noinline]] inline std::size_t OrderedText::reorder(std::size_t base, std::size_t body,
                                                         std::size_t end) {
  const std::size_t n = members_.size() - base;
  const Member* const m = members_.data() + base;
  // The regions within the map; for each member the first of them at or after its start. What
  // lies between the members (separators, white space) is left out.
  const std::size_t r0 = regions_from(body);
  const bool inner = r0 < regions_.size();
  if (scratch_size_ < 2 * n) {
    scratch_size_ = 2 * n;
    scratch_ = std::make_unique<std::uint32_t[]>(scratch_size_);
  }
  std::uint32_t* const order = scratch_.get();
  std::uint32_t* const first = order + n;
  if (inner) {
    for (std::size_t i = 0, r = r0; i < n; ++i) {
      while (r < regions_.size() && regions_[r].start < m[i].start) ++r;
      first[i] = static_cast<std::uint32_t>(r);
      while (r < regions_.size() && regions_[r].start < m[i].end) ++r;
    }
  }
  const std::size_t kept = map_order(n, [m](std::uint32_t i) { return m[i].name(); }, order);
  const std::size_t sep = separator_.size();
  Chain chain;
  if (!inner && sep == 0) {
    // Members side by side and nothing rewritten within: a piece a member, the ones that stay
    // neighbours joined.
    for (std::size_t j = 0; j < kept; ++j) {
      const Member& member = m[order[j]];
      append_piece(chain, member.start, member.end - member.start);
    }
    return close_reordered(r0, base, body, end, chain, kept);
  }
  for (std::size_t j = 0; j < kept; ++j) {
    const std::uint32_t i = order[j];
    // A member followed by another in the text has its separator right after it there: it is
    // taken along, unless the member now stands last.
    const bool separated = j + 1 < kept;
    const bool followed = i + 1 < n && m[i + 1].start == m[i].end + sep;
    const std::size_t to = m[i].end + (separated && followed ? sep : 0);
    if (inner)
      append_stretch(chain, m[i].start, to, first[i]);
    else
      append_piece(chain, m[i].start, to - m[i].start);
    if (separated && !followed) append_piece(chain, separator(), sep);
  }
  return close_reordered(r0, base, body, end, chain, kept);
}

// The map's regions give way to its own, made of `chain`.
inline std::size_t OrderedText::close_reordered(std::size_t r0, std::size_t base, std::size_t body,
                                                std::size_t end, const Chain& chain,
                                                std::size_t kept) {
  regions_.shrink(r0);
  regions_.push({body, end, chain.len, chain.head, chain.tail});
  members_.shrink(base);
  return kept;
}

// --- The final text ------------------------------------------------------------------------------

inline std::size_t OrderedText::gathered_size(std::size_t size) const {
  for (std::size_t r = 0; r < regions_.size(); ++r)
    size = size - (regions_[r].end - regions_[r].start) + regions_[r].len;
  return size;
}

// Most pieces are a member or two long: they are copied without a call.
[[gnu::always_inline]] inline char* copy_piece(char* to, const char* from, std::size_t len) {
  if (len > 16) {
    std::memcpy(to, from, len);
  } else if (len >= 8) {
    std::uint64_t a, b;
    std::memcpy(&a, from, 8);
    std::memcpy(&b, from + len - 8, 8);
    std::memcpy(to, &a, 8);
    std::memcpy(to + len - 8, &b, 8);
  } else if (len >= 4) {
    std::uint32_t a, b;
    std::memcpy(&a, from, 4);
    std::memcpy(&b, from + len - 4, 4);
    std::memcpy(to, &a, 4);
    std::memcpy(to + len - 4, &b, 4);
  } else {
    for (std::size_t k = 0; k < len; ++k) to[k] = from[k];
  }
  return to + len;
}

inline char* OrderedText::gather(std::string_view source, char* out) const {
  std::size_t from = 0;
  for (std::size_t r = 0; r < regions_.size(); ++r) {
    const Region& region = regions_[r];
    out = copy_piece(out, source.data() + from, region.start - from);
    for (std::uint32_t k = region.head; k != kNone; k = pieces_[k].next) {
      const Piece& piece = pieces_[k];
      const char* at = piece.off >= kSide ? side_.data() + (piece.off - kSide)
                                          : source.data() + piece.off;
      out = copy_piece(out, at, piece.len);
    }
    from = region.end;
  }
  return copy_piece(out, source.data() + from, source.size() - from);
}

}  // namespace vorlik
