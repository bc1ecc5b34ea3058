// Maps written out member by member in the order they were read, put into map order once the
// whole text is written.
//
// A writer appends its text as it reads and tells this helper where each map's members start
// and where the map ends. The text is kept as one list of pieces, each a stretch of the text or of
// bytes written anew, linked in the order of the final text; the list is cut at whatever is
// rewritten, and at each member's start once its map is found out of order (or a key repeated).
// Such a map is not moved: its members' pieces are linked anew in map order when it closes, a few
// steps a member, and what lay between them (separators, white space) is left out. Other stretches
// can be rewritten the same way: white space dropped, a token spelt anew, a length field that grew.
// gather() then copies every byte once into the final text, so the cost stays linear in the text
// however deep the maps nest. A text without rewrites needs no gathering at all.
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
      : frames_(arena), members_(arena), pieces_(arena, kNone), separator_(separator) {
    pieces_.push({0, 0, kNone});  // where the list starts
  }

  // --- Maps, while the text is written ---------------------------------------------------------

  // Room for the pieces of a text of about `bytes` bytes, taken at once: most members are eight
  // bytes or more.
  void expect(std::size_t bytes) {
    const std::size_t most = kNone - pieces_.size();
    pieces_.reserve(pieces_.size() + (bytes / 8 < most ? bytes / 8 : most));
  }

  void open_map() { frames_.push({members_.size(), true}); }
  // A member of the innermost open map starts at `at`, with its key, before anything of it is
  // rewritten. The key must stay valid until the map closes. Between two members the text holds
  // the separator and nothing else once rewritten.
  [[gnu::always_inline]] void member(std::string_view key, std::size_t at) {
    Frame& f = frames_.back();
    if (!f.in_order) {
      cut(at);
    } else if (members_.size() > f.base && !key_less(members_.back().name(), key)) {
      f.in_order = false;
      cut(at);
      cut_members(f.base);
    }
    // While the map stays in order its members are not cut: the piece cut next holds the start.
    Member& m = members_.emplace();
    m.key = key.data();
    m.key_size = key.size();
    m.start = at;
    m.prev = last_;
    m.head = static_cast<std::uint32_t>(pieces_.size());
  }
  // The innermost map closes; its last member ends at `end`, where nothing is rewritten yet.
  // Returns how many it keeps.
  [[gnu::always_inline]] std::size_t close_map(std::size_t /*body*/, std::size_t end) {
    const Frame f = frames_.pop();
    const std::size_t n = members_.size() - f.base;
    if (f.in_order) {
      members_.shrink(f.base);
      return n;
    }
    return reorder(f.base, end);
  }

  // --- Other rewrites --------------------------------------------------------------------------

  // The stretch [at, at + len) is written as `bytes` instead; nothing at or after `at` is
  // rewritten yet.
  void rewrite(std::size_t at, std::size_t len, std::string_view bytes) {
    cut(at);
    if (!bytes.empty()) push(append_side(bytes), bytes.size());
    run_ = at + len;
    rewritten_ = true;
  }
  // Where the text written from now on will be found, for a rewrite of it made later.
  std::uint32_t mark() const { return static_cast<std::uint32_t>(pieces_.size()); }
  // The stretch [at, at + len), written after `mark` was taken and before anything else was cut
  // there (a container's head: the list is cut only within its body), is written as `bytes`
  // instead, whatever was rewritten after it.
  void rewrite(std::uint32_t mark, std::size_t at, std::size_t len, std::string_view bytes);

  // --- The final text --------------------------------------------------------------------------

  bool rewritten() const { return rewritten_; }
  // Room enough for the final text of a source of `size` bytes: every byte of the source and of
  // the rewritten ones goes out at most once, but for separators.
  std::size_t gathered_room(std::size_t size) const {
    return size + side_.size() + separators_ * separator_.size();
  }
  // Writes the final text of `source` to `out`, which has gathered_room(); returns the end of
  // what was written.
  char* gather(std::string_view source, char* out) const;

 private:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  // Piece offsets at or above this one lie in the rewritten bytes.
  static constexpr std::uint64_t kSide = std::uint64_t{1} << 63;
  // The longest piece: longer stretches take several.
  static constexpr std::size_t kLongest = UINT32_MAX;

  struct Frame {
    std::size_t base;  // the map's first member in members_
    bool in_order;     // keys so far strictly ascending
  };
  struct Member {
    const char* key;
    std::size_t key_size;
    std::size_t start;
    // The piece before it, which ends the member before (and its separator), and its first piece.
    // Until its map is found out of order: the last piece when it started, and the piece cut next
    // then, which holds its start (or, if that was cut there, starts with it).
    std::uint32_t prev;
    std::uint32_t head;
    std::string_view name() const { return {key, key_size}; }
  };
  struct Piece {
    std::uint64_t off;  // in the source, or (at kSide and above) in the rewritten bytes
    std::uint32_t len;
    std::uint32_t next;  // the piece after it in the final text
  };

  // A new piece, not yet linked.
  [[gnu::always_inline]] std::uint32_t add(std::uint64_t off, std::size_t len) {
    const auto index = static_cast<std::uint32_t>(pieces_.size());
    pieces_.push({off, static_cast<std::uint32_t>(len), kNone});
    return index;
  }
  // A new piece after the last one.
  [[gnu::always_inline]] void push(std::uint64_t off, std::size_t len) {
    for (; len > kLongest; off += kLongest, len -= kLongest) push(off, kLongest);
    const std::uint32_t index = add(off, len);
    pieces_[last_].next = index;
    last_ = index;
  }
  // The text written since the last cut, up to `at`, becomes a piece.
  [[gnu::always_inline]] void cut(std::size_t at) {
    if (at > run_) push(run_, at - run_);
    run_ = at;
  }
  std::uint64_t append_side(std::string_view bytes) {
    const std::size_t at = side_.size();
    side_.append(bytes);
    return kSide | at;
  }
  std::size_t reorder(std::size_t base, std::size_t end);
  // The members from `base` on, in a map just found out of order, are cut at their starts.
  void cut_members(std::size_t base);
  // Where the separator lies among the rewritten bytes.
  std::uint64_t separator();

  ArenaStack<Frame> frames_;
  ArenaStack<Member> members_;  // the members of all open maps, innermost last
  ArenaStack<Piece> pieces_;    // in the order they were cut, linked in the final order
  std::uint32_t last_ = 0;      // the piece that ends the final text so far
  std::size_t run_ = 0;         // where the text not yet cut starts
  bool rewritten_ = false;
  std::string side_;  // rewritten bytes
  std::string_view separator_;
  std::size_t separator_at_ = SIZE_MAX;
  std::size_t separators_ = 0;  // separator pieces added
  // Reused by every reordering: the members' order.
  std::unique_ptr<std::uint32_t[]> scratch_;
  std::size_t scratch_size_ = 0;
};

// --- Rewrites ---------------------------------------------------------------------------------

inline std::uint64_t OrderedText::separator() {
  if (separator_at_ == SIZE_MAX) {
    separator_at_ = side_.size();
    side_.append(separator_);
  }
  return kSide | separator_at_;
}

inline void OrderedText::rewrite(std::uint32_t mark, std::size_t at, std::size_t len,
                                 std::string_view bytes) {
  if (at >= run_) return rewrite(at, len, bytes);
  // Cut since: the piece cut first holds the whole stretch. It keeps what lies before the
  // stretch; the new bytes and what lies after follow it.
  rewritten_ = true;
  const std::uint32_t held = mark;
  const Piece piece = pieces_[held];
  const auto before = static_cast<std::size_t>(at - piece.off);
  const std::size_t after = piece.len - before - len;
  std::uint32_t tail = held;
  bool empty = before == 0;  // the held piece, left with nothing: the next bytes take it
  const auto link = [&](std::uint64_t off, std::size_t n) {
    if (n == 0) return;
    if (empty) {
      pieces_[held].off = off;
      pieces_[held].len = static_cast<std::uint32_t>(n);
      empty = false;
      return;
    }
    const std::uint32_t index = add(off, n);
    pieces_[tail].next = index;
    tail = index;
  };
  pieces_[held].len = static_cast<std::uint32_t>(before);
  if (!bytes.empty()) link(append_side(bytes), bytes.size());
  link(at + len, after);
  pieces_[tail].next = piece.next;
  if (last_ == held) last_ = tail;
}

[[gnu::noinline]] inline void OrderedText::cut_members(std::size_t base) {
  // The text is cut up to the member that found the map out of order, so the piece each member
  // noted is there. Cutting one adds a piece past all of them.
  // Members that noted the same piece: the one before cut it, and its rest holds the next start.
  std::uint32_t noted = kNone, rest_of_noted = kNone;
  for (std::size_t i = base; i < members_.size(); ++i) {
    Member& m = members_[i];
    const std::uint32_t held = m.head == noted ? rest_of_noted : m.head;
    if (m.prev == noted) m.prev = rest_of_noted;  // the piece before it was cut since
    noted = m.head;
    rest_of_noted = held;
    const Piece piece = pieces_[held];
    if (piece.off >= kSide || piece.off >= m.start) {
      m.head = held;  // starts with it, or with what follows its first bytes dropped
      continue;
    }
    if (piece.off + piece.len == m.start) {
      // Ends where it starts: a rewrite begins the member.
      m.prev = held;
      m.head = piece.next;
      continue;
    }
    const std::uint32_t rest =
        add(m.start, static_cast<std::size_t>(piece.off + piece.len - m.start));
    rest_of_noted = rest;
    pieces_[rest].next = piece.next;
    pieces_[held].len = static_cast<std::uint32_t>(m.start - piece.off);
    pieces_[held].next = rest;
    if (last_ == held) last_ = rest;
    m.prev = held;
    m.head = rest;
  }
}

[[gnu::noinline]] inline std::size_t OrderedText::reorder(std::size_t base, std::size_t end) {
  cut(end);  // the members' last pieces, all cut
  rewritten_ = true;
  const std::size_t n = members_.size() - base;
  Member* const m = members_.data() + base;
  if (scratch_size_ < n) {
    scratch_size_ = 2 * n;
    scratch_ = std::make_unique<std::uint32_t[]>(scratch_size_);
  }
  std::uint32_t* const order = scratch_.get();
  const std::size_t kept = map_order(
      n, [m](std::uint32_t i) { return m[i].name(); }, order);
  const std::size_t sep = separator_.size();
  if (sep != 0) separator();
  // Room for the separators it may add, so that the pieces stay where they are.
  pieces_.make_room(kept);
  Piece* const piece = pieces_.data();
  const std::uint32_t end_piece = last_;  // ends the member read last
  std::uint32_t prev = m[0].prev;
  for (std::size_t j = 0; j < kept; ++j) {
    const std::uint32_t i = order[j];
    const bool last = j + 1 == kept;
    piece[prev].next = m[i].head;
    if (i + 1 < n) {
      // Its last piece ends with the separator before the next member in the text: it is taken
      // along, unless the member now stands last.
      prev = m[i + 1].prev;
      if (last) piece[prev].len = static_cast<std::uint32_t>(piece[prev].len - sep);
    } else {
      prev = end_piece;
      if (!last && sep != 0) {
        const std::uint32_t index = add(separator(), sep);
        piece[prev].next = index;
        prev = index;
        ++separators_;
      }
    }
  }
  piece[prev].next = kNone;
  last_ = prev;
  members_.shrink(base);
  return kept;
}

// --- The final text ------------------------------------------------------------------------------

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
  const Piece* const piece = pieces_.data();
  for (std::uint32_t k = piece[0].next; k != kNone;) {
    const std::uint64_t off = piece[k].off;
    std::uint64_t end = off + piece[k].len;
    k = piece[k].next;
    // Pieces that lie end to end in their bytes go out in one copy.
    while (k != kNone && piece[k].off == end) {
      end += piece[k].len;
      k = piece[k].next;
    }
    const char* at = off >= kSide ? side_.data() + (off - kSide) : source.data() + off;
    out = copy_piece(out, at, static_cast<std::size_t>(end - off));
  }
  return copy_piece(out, source.data() + run_, source.size() - run_);
}

}  // namespace vorlik
