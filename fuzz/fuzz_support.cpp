#include "fuzz/fuzz_support.hpp"

#include "jsonio/utf8.hpp"

namespace vorlik::fuzz {

bool is_text(std::string_view bytes) {
  return !json::find_utf8_fault(bytes);
}

}  // namespace vorlik::fuzz
