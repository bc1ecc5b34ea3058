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
  // The longest piece: longer stretches take several.
  static constexpr std::size_t kLongest = UINT32_MAX - 1;

  // Builds one chain in room made for it beforehand (room()): no bound is checked per piece, and
  // the count stays in a register while pieces are written.
  class Chain {
   public:
    // `room` is what room() made on top of `pieces`.
    Chain(ArenaStack<Piece>& pieces, Piece* room)
        : pieces_(pieces), all_(room - pieces.size()), count_(pieces.size()) {}
    // The stretch [off, off + len); one that goes on where the chain's last piece ends in the
    // same bytes extends that piece.
    [[gnu::always_inline]] void piece(std::uint64_t off, std::size_t len) {
      if (len == 0) return;
      if (tail_ != kNone) {
        Piece& tail = all_[tail_];
        if (tail.off + tail.len == off && len <= kLongest - tail.len) {
          tail.len += static_cast<std::uint32_t>(len);
          len_ += len;
          return;
        }
      }
      for (; len > kLongest; off += kLongest, len -= kLongest) link(off, kLongest);
      link(off, len);
    }
    // A chain built before, linked in whole.
    [[gnu::always_inline]] void region(const Region& region) {
      if (region.head != kNone) {
        if (tail_ == kNone)
          head_ = region.head;
        else
          all_[tail_].next = region.head;
        tail_ = region.tail;
      }
      len_ += region.len;
    }
    // The pieces written count from here on; the chain's ends and length.
    Region close(std::size_t start, std::size_t end) {
      pieces_.grow_to(count_);
      return {start, end, len_, head_, tail_};
    }

   private:
    [[gnu::always_inline]] void link(std::uint64_t off, std::size_t len) {
      const auto index = static_cast<std::uint32_t>(count_++);
      all_[index] = {off, static_cast<std::uint32_t>(len), kNone};
      if (tail_ == kNone)
        head_ = index;
      else
        all_[tail_].next = index;
      tail_ = index;
      len_ += len;
    }

    ArenaStack<Piece>& pieces_;
    Piece* const all_;
    std::size_t count_;
    std::uint32_t head_ = kNone;
    std::uint32_t tail_ = kNone;
    std::size_t len_ = 0;
  };

  std::size_t reorder(std::size_t base, std::size_t body, std::size_t end);
  // Makes room for a chain of at most `stretches` stretches, `bytes` long in all.
  Piece* room(std::size_t stretches, std::size_t bytes);
  // The first of the regions on the stack that start at `at` or later.
  std::size_t regions_from(std::size_t at) const;
  // Appends the stretch [from, to) of the source, with the regions regions_[r, ...) that lie
  // within it, to `chain`; returns the first region past `to`.
  std::size_t stretch(Chain& chain, std::size_t from, std::size_t to, std::size_t r) const;
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

inline OrderedText::Piece* OrderedText::room(std::size_t stretches, std::size_t bytes) {
  // A stretch of `len` bytes takes at most len / kLongest + 1 pieces.
  const std::size_t most = stretches + bytes / kLongest;
  if (most >= kNone - pieces_.size()) throw std::bad_alloc();
  return pieces_.make_room(most);
}

inline std::uint64_t OrderedText::separator() {
  if (separator_at_ == SIZE_MAX) {
    separator_at_ = side_.size();
    side_.append(separator_);
  }
  return kSide | separator_at_;
}

inline std::size_t OrderedText::stretch(Chain& chain, std::size_t from, std::size_t to,
                                        std::size_t r) const {
  const std::size_t count = regions_.size();
  for (; r < count && regions_[r].start < to; ++r) {
    const Region& inner = regions_[r];
    chain.piece(from, inner.start - from);
    chain.region(inner);
    from = inner.end;
  }
  chain.piece(from, to - from);
  return r;
}

inline void OrderedText::rewrite(std::size_t at, std::size_t len, std::string_view bytes,
                                 std::size_t through) {
  const std::size_t r = regions_from(at);
  const std::size_t side = side_.size();
  side_.append(bytes);
  Chain chain(pieces_, room(regions_.size() - r + 2, bytes.size() + (through - at - len)));
  chain.piece(kSide | side, bytes.size());
  stretch(chain, at + len, through, r);
  const Region region = chain.close(at, through);
  regions_.shrink(r);
  regions_.push(region);
}

[[gnu::noinline]] inline std::size_t OrderedText::reorder(std::size_t base, std::size_t body,
                                                         std::size_t end) {
  const std::size_t n = members_.size() - base;
  const Member* const m = members_.data() + base;
  // The regions within the map; for each member the first of them at or after its start. What
  // lies between the members (separators, white space) is left out.
  const std::size_t r0 = regions_from(body);
  const std::size_t regions = regions_.size();
  const bool inner = r0 < regions;
  if (scratch_size_ < 2 * n) {
    scratch_size_ = 2 * n;
    scratch_ = std::make_unique<std::uint32_t[]>(scratch_size_);
  }
  std::uint32_t* const order = scratch_.get();
  std::uint32_t* const first = order + n;
  if (inner) {
    const Region* const region = regions_.data();
    for (std::size_t i = 0, r = r0; i < n; ++i) {
      const std::size_t start = m[i].start, stop = m[i].end;
      while (r < regions && region[r].start < start) ++r;
      first[i] = static_cast<std::uint32_t>(r);
      while (r < regions && region[r].start < stop) ++r;
    }
  }
  const std::size_t kept = map_order(n, [m](std::uint32_t i) { return m[i].name(); }, order);
  const std::size_t sep = separator_.size();
  // Each member: its stretch cut around its regions, and a separator.
  Chain chain(pieces_, room(2 * kept + (regions - r0), end - body + kept * sep));
  if (!inner && sep == 0) {
    // Members side by side and nothing rewritten within: a piece a member, the ones that stay
    // neighbours joined.
    for (std::size_t j = 0; j < kept; ++j) {
      const Member& member = m[order[j]];
      chain.piece(member.start, member.end - member.start);
    }
  } else {
    for (std::size_t j = 0; j < kept; ++j) {
      const std::uint32_t i = order[j];
      // A member followed by another in the text has its separator right after it there: it is
      // taken along, unless the member now stands last.
      const bool separated = j + 1 < kept;
      const bool followed = i + 1 < n && m[i + 1].start == m[i].end + sep;
      const std::size_t to = m[i].end + (separated && followed ? sep : 0);
      if (inner)
        stretch(chain, m[i].start, to, first[i]);
      else
        chain.piece(m[i].start, to - m[i].start);
      if (separated && !followed) chain.piece(separator(), sep);
    }
  }
  // The map's regions give way to its own.
  const Region region = chain.close(body, end);
  regions_.shrink(r0);
  regions_.push(region);
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
