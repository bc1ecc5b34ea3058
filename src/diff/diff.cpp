#include "src/diff/diff.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "containers/keyed_hash.hpp"
#include "src/diff/patch_writer.hpp"

namespace vorlik {

namespace {

// The children of one slot on one side of the diff.
using Siblings = std::span<const Node>;

// Counts, over positions 0..n-1 that start out present, how many present ones precede a
// position, while positions are taken out one by one.
class PresenceCounter {
 public:
  explicit PresenceCounter(std::size_t n) : tree_(n + 1, 0) {
    for (std::size_t i = 1; i <= n; ++i) {
      tree_[i] += 1;
      std::size_t parent = i + (i & (~i + 1));
      if (parent <= n) tree_[parent] += tree_[i];
    }
  }
  std::uint32_t before(std::size_t pos) const {
    std::uint32_t sum = 0;
    for (std::size_t i = pos; i > 0; i -= i & (~i + 1)) sum += tree_[i];
    return sum;
  }
  void take(std::size_t pos) {
    for (std::size_t i = pos + 1; i < tree_.size(); i += i & (~i + 1)) tree_[i] -= 1;
  }

 private:
  std::vector<std::uint32_t> tree_;
};

// The distinct keys of one slot, numbered in order of first appearance, in a chained hash table.
// The keys come from a peer, and the standard library's string hash has a fixed seed and can be
// inverted: a list of keys can be built that all fall into one bucket, each look-up then walking
// the whole list. A keyed hash under the process's secret key prevents that, at several times the
// cost of the plain hash on short keys (a few percent of a keyed diff). So the table starts with
// the plain hash and, the first time a key is added to a chain already kLongChain long (which
// random keys, at most one per two buckets, all but never make), hashes every key again under the
// secret key. Until then no chain is longer than that, so the plain hash costs at most that many
// comparisons per look-up, and after it no list of keys can be built to share a bucket.
class KeyTable {
 public:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  static constexpr std::size_t kLongChain = 8;

  explicit KeyTable(std::size_t capacity) {
    std::size_t size = 8;
    while (size < 2 * capacity) size *= 2;
    buckets_.assign(size, kNone);
    mask_ = size - 1;
    keys_.reserve(capacity);
    chain_.reserve(capacity);
  }
  std::size_t size() const { return keys_.size(); }
  std::uint32_t find(std::string_view key) const { return find_in(bucket(key), key); }
  std::uint32_t intern(std::string_view key) {
    const std::size_t b = bucket(key);
    std::size_t chain = 0;
    for (std::uint32_t id = buckets_[b]; id != kNone; id = chain_[id], ++chain)
      if (keys_[id] == key) return id;
    const auto id = static_cast<std::uint32_t>(keys_.size());
    keys_.push_back(key);
    chain_.push_back(buckets_[b]);
    buckets_[b] = id;
    if (chain >= kLongChain && !keyed_) rehash_keyed();
    return id;
  }

 private:
  std::size_t bucket(std::string_view key) const {
    const std::uint64_t h =
        keyed_ ? keyed_hash(hash_key_, key) : std::hash<std::string_view>{}(key);
    return static_cast<std::size_t>(h) & mask_;
  }
  [[gnu::noinline]] void rehash_keyed() {
    keyed_ = true;
    hash_key_ = process_hash_key();
    std::fill(buckets_.begin(), buckets_.end(), kNone);
    for (std::uint32_t id = 0; id < keys_.size(); ++id) {
      const std::size_t b = bucket(keys_[id]);
      chain_[id] = buckets_[b];
      buckets_[b] = id;
    }
  }
  std::uint32_t find_in(std::size_t b, std::string_view key) const {
    for (std::uint32_t id = buckets_[b]; id != kNone; id = chain_[id])
      if (keys_[id] == key) return id;
    return kNone;
  }

  std::vector<std::uint32_t> buckets_;  // first key id of each bucket
  std::vector<std::uint32_t> chain_;    // by key id: the next id in the same bucket
  std::vector<std::string_view> keys_;
  std::size_t mask_ = 0;
  bool keyed_ = false;
  HashKey hash_key_;
};

class Differ {
 public:
  explicit Differ(OpWriter& ops) : ops_(ops) {}

  // Compares a pair whose path is the whole of path_.
  void node(const Node& a, const Node& b);

 private:
  // Where the path segments of one slot's children are built inside path_.
  struct SlotPath {
    std::string_view name;
    std::size_t parent;    // length of the parent's path
    std::size_t index_at;  // where a child's index goes
  };

  // The first `len` bytes of path_: a path as OpWriter takes it.
  std::string_view path(std::size_t len) { return path_.view().substr(0, len); }

  template <class Entry, class Set, class Remove>
  void map_ops(const ArenaVec<Entry>& a, const ArenaVec<Entry>& b, Set set, Remove remove);
  void slot(std::string_view name, Siblings o, Siblings n);
  void positional(const SlotPath& s, Siblings o, Siblings n);
  void keyed(const SlotPath& s, Siblings o, Siblings n);
  void child(const SlotPath& s, std::size_t index, const Node& a, const Node& b);

  void insert_child(const SlotPath& s, std::size_t index, const Node& node) {
    ops_.insert_child(path(s.parent), s.name, index, node);
  }
  void remove_child(const SlotPath& s, std::size_t index) {
    ops_.remove_child(path(s.parent), s.name, index);
  }
  void move_child(const SlotPath& s, std::size_t from, std::size_t to) {
    ops_.move_child(path(s.parent), s.name, from, to);
  }

  OpWriter& ops_;
  // The segments of the current path, comma-separated, exactly as an op writes them: every op
  // copies a prefix of it instead of writing its path segment by segment.
  json::Writer path_;
};

void Differ::node(const Node& a, const Node& b) {
  const std::size_t len = path_.size();
  if (a.tag() != b.tag()) {
    ops_.replace(path(len), b);
    return;
  }
  if (a.key != b.key) ops_.set_key(path(len), b.key);
  map_ops(a.props, b.props, &OpWriter::set_prop, &OpWriter::remove_prop);
  if (a.extras || b.extras) {
    map_ops(a.events(), b.events(), &OpWriter::set_event, &OpWriter::remove_event);
    map_ops(a.bindings(), b.bindings(), &OpWriter::set_binding, &OpWriter::remove_binding);
  }

  // Slots of either side in ascending name order, an absent one counting as empty.
  auto ia = a.slots.begin(), ea = a.slots.end();
  auto ib = b.slots.begin(), eb = b.slots.end();
  while (ia != ea || ib != eb) {
    int order = ia == ea ? 1 : ib == eb ? -1 : ia->first.compare(ib->first);
    if (order < 0) {
      slot(ia->first, ia->second.nodes(), Siblings{});
      ++ia;
    } else if (order > 0) {
      slot(ib->first, Siblings{}, ib->second.nodes());
      ++ib;
    } else {
      slot(ia->first, ia->second.nodes(), ib->second.nodes());
      ++ia;
      ++ib;
    }
  }
}

template <class Entry, class Set, class Remove>
void Differ::map_ops(const ArenaVec<Entry>& a, const ArenaVec<Entry>& b, Set set, Remove remove) {
  const std::size_t len = path_.size();
  // Both maps are sorted by name, so one forward walk of the other side finds each entry.
  auto ia = a.begin();
  std::size_t matched = 0;
  for (const auto& [name, value] : b) {
    int order = 1;
    while (ia != a.end() && (order = ia->first.compare(name)) < 0) ++ia;
    if (order == 0) {
      ++matched;
      if ((ia++)->second == value) continue;
    }
    (ops_.*set)(path(len), name, value);
  }
  if (matched == a.size()) return;
  auto ib = b.begin();
  for (const auto& entry : a) {
    int order = 1;
    while (ib != b.end() && (order = ib->first.compare(entry.first)) < 0) ++ib;
    if (order == 0) continue;
    (ops_.*remove)(path(len), entry.first);
  }
}

void Differ::slot(std::string_view name, Siblings o, Siblings n) {
  if (o.empty() && n.empty()) return;
  SlotPath s;
  s.name = name;
  s.parent = path_.size();
  if (s.parent) path_.raw(',');
  write_path_seg_slot(path_, name);
  s.index_at = path_.size();

  auto has_key = [](const Node& c) { return c.key.has_value(); };
  if (std::all_of(o.begin(), o.end(), has_key) && std::all_of(n.begin(), n.end(), has_key))
    keyed(s, o, n);
  else
    positional(s, o, n);
  path_.truncate(s.parent);
}

void Differ::child(const SlotPath& s, std::size_t index, const Node& a, const Node& b) {
  path_.truncate(s.index_at);
  write_path_seg_index(path_, index);
  node(a, b);
}

void Differ::positional(const SlotPath& s, Siblings o, Siblings n) {
  const std::size_t common = std::min(o.size(), n.size());
  for (std::size_t i = 0; i < common; ++i) child(s, i, o[i], n[i]);
  for (std::size_t i = o.size(); i < n.size(); ++i) insert_child(s, i, n[i]);
  for (std::size_t i = o.size(); i-- > n.size();) remove_child(s, i);
}

// Matches children by key. The working list that mirrors the slot as the ops leave it is not
// kept physically: after the removals, placing the new children one by one leaves the entries
// not yet placed in their original relative order behind the placed ones, so the position of
// an unplaced entry is the count of placed children plus the unplaced entries before it. That
// keeps a reordered list at O(n log n) instead of quadratic; keys are matched by hashing.
void Differ::keyed(const SlotPath& s, Siblings o, Siblings n) {
  // A common prefix of equal keys is settled in place and produces no op of its own.
  std::size_t prefix = 0;
  const std::size_t limit = std::min(o.size(), n.size());
  while (prefix < limit && *o[prefix].key == *n[prefix].key) ++prefix;
  if (prefix == o.size() && prefix == n.size()) {
    for (std::size_t i = 0; i < n.size(); ++i) child(s, i, o[i], n[i]);
    return;
  }
  constexpr std::uint32_t kNone = KeyTable::kNone;
  const std::size_t old_tail = o.size() - prefix;
  const std::size_t new_tail = n.size() - prefix;

  KeyTable keys(n.size());
  std::vector<std::uint32_t> new_id(new_tail);
  for (std::size_t j = 0; j < n.size(); ++j) {
    std::uint32_t id = keys.intern(*n[j].key);
    if (j >= prefix) new_id[j - prefix] = id;
  }

  // Removal pass, from the end: earlier positions do not move, so each index is the old one.
  // The entries kept are chained by key, earliest first.
  std::vector<std::uint32_t> earliest(keys.size(), kNone);  // by key id
  std::vector<std::uint32_t> later(old_tail, kNone);        // by old position - prefix
  std::vector<std::uint32_t> kept;                          // old positions, ascending
  kept.reserve(old_tail);
  for (std::size_t i = o.size(); i-- > prefix;) {
    std::uint32_t id = keys.find(*o[i].key);
    if (id == kNone) {
      remove_child(s, i);
      continue;
    }
    later[i - prefix] = earliest[id];
    earliest[id] = static_cast<std::uint32_t>(i);
    kept.push_back(static_cast<std::uint32_t>(i));
  }
  std::reverse(kept.begin(), kept.end());
  std::vector<std::uint32_t> entry(old_tail);  // by old position - prefix: index in kept
  for (std::size_t e = 0; e < kept.size(); ++e)
    entry[kept[e] - prefix] = static_cast<std::uint32_t>(e);
  PresenceCounter unplaced(kept.size());

  // Placement pass. origin[j] is the old position of the child placed at j, or kNone when the
  // child was inserted whole.
  std::vector<std::uint32_t> origin(new_tail, kNone);
  std::size_t placed = 0;
  for (std::size_t j = prefix; j < n.size(); ++j) {
    std::uint32_t id = new_id[j - prefix];
    std::uint32_t pos = earliest[id];
    if (pos == kNone) {
      insert_child(s, j, n[j]);
      continue;
    }
    earliest[id] = later[pos - prefix];
    std::uint32_t e = entry[pos - prefix];
    std::size_t from = j + unplaced.before(e);
    if (from != j) move_child(s, from, j);
    unplaced.take(e);
    ++placed;
    origin[j - prefix] = pos;
  }

  // Old children whose key the new list holds fewer times are left over behind the new list;
  // they go too, so that the patch yields the new list exactly.
  for (std::size_t pos = n.size() + (kept.size() - placed); pos-- > n.size();) remove_child(s, pos);

  // Recursion pass, at the final positions.
  for (std::size_t i = 0; i < prefix; ++i) child(s, i, o[i], n[i]);
  for (std::size_t j = prefix; j < n.size(); ++j) {
    if (origin[j - prefix] != kNone) child(s, j, o[origin[j - prefix]], n[j]);
  }
}

}  // namespace

void write_diff(json::Writer& writer, const Node& old_root, const Node& new_root) {
  write_patch_with(writer, [&](OpWriter& ops) { Differ(ops).node(old_root, new_root); });
}

}  // namespace vorlik
