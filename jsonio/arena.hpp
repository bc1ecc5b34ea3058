// Per-call memory: strings that had to be unescaped, the trees and values read from the call's
// texts, and whatever else lives exactly as long as the call. What is placed here is trivially
// destructible and dies with the call, at once.
#pragma once

#include <cstring>
#include <memory_resource>
#include <string_view>

namespace vorlik::json {

class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  std::string_view copy(std::string_view s) {
    if (s.empty()) return {};
    auto* p = static_cast<char*>(pool_.allocate(s.size(), 1));
    std::memcpy(p, s.data(), s.size());
    return {p, s.size()};
  }
  // For whatever else lives exactly as long as the call.
  std::pmr::memory_resource& resource() { return pool_; }

 private:
  std::pmr::monotonic_buffer_resource pool_{4096};
};

}  // namespace vorlik::json
