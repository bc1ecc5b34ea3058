#include "src/children.hpp"

#include <algorithm>
#include <utility>

#include "src/child_index.hpp"
#include "src/node.hpp"

namespace vorlik {

Children::Children() = default;
Children::~Children() = default;
Children::Children(Children&&) noexcept = default;
Children& Children::operator=(Children&&) noexcept = default;

bool Children::use_index() {
  if (!index_ && list.size() >= kIndexFrom) index_ = std::make_unique<ChildIndex>(list);
  return index_ != nullptr;
}

std::size_t Children::size() const {
  return index_ ? index_->size() : list.size();
}

Node& Children::at(std::size_t pos) {
  return index_ ? index_->at(pos) : list[pos];
}

void Children::insert(std::size_t pos, Node&& node) {
  if (use_index())
    index_->insert(pos, std::move(node));
  else
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(pos), std::move(node));
}

Node Children::take(std::size_t pos) {
  if (use_index()) return index_->take(pos);
  auto it = list.begin() + static_cast<std::ptrdiff_t>(pos);
  Node node = std::move(*it);
  list.erase(it);
  return node;
}

void Children::move(std::size_t from, std::size_t to) {
  if (use_index()) return index_->move(from, to);
  auto first = list.begin();
  auto f = static_cast<std::ptrdiff_t>(from);
  auto t = static_cast<std::ptrdiff_t>(to);
  if (f < t)
    std::rotate(first + f, first + f + 1, first + t + 1);
  else if (t < f)
    std::rotate(first + t, first + f, first + f + 1);
}

void Children::settle() {
  if (!index_) return;
  index_->drain_into(list);
  index_.reset();
}

}  // namespace vorlik
