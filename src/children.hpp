// The child list of one slot. Outside patch application it is a plain vector of nodes, read,
// compared and written as such. While a patch is applied, a long list that receives child ops
// switches to a positional index, so that each insert, removal or move stays logarithmic; the
// patch application turns it back into a vector before the tree is written.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace vorlik {

struct Node;
class ChildIndex;

class Children {
 public:
  // The children in order, whenever the list is not indexed.
  std::vector<Node> list;

  Children();
  ~Children();
  Children(Children&&) noexcept;
  Children& operator=(Children&&) noexcept;

  bool indexed() const { return index_ != nullptr; }
  std::size_t size() const;
  Node& at(std::size_t pos);
  void insert(std::size_t pos, Node&& node);
  Node take(std::size_t pos);
  void move(std::size_t from, std::size_t to);
  // Back to the plain vector.
  void settle();

 private:
  // Below this length shifting the siblings costs less than keeping an index.
  static constexpr std::size_t kIndexFrom = 64;
  bool use_index();

  std::unique_ptr<ChildIndex> index_;
};

}  // namespace vorlik
