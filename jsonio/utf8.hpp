// UTF-8 validation with the error report of a strict decoder: where the first invalid sequence
// starts and how long it is (0 when the input ends inside a sequence).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorlik::json {

struct Utf8Fault {
  std::size_t index;
  std::size_t length;  // 0: the input ends inside a sequence
};

std::optional<Utf8Fault> find_utf8_fault(std::string_view bytes);

// Appends the UTF-8 encoding of a code point (below 0x110000).
void append_utf8(std::string& out, std::uint32_t cp);

// "invalid utf-8 sequence of N bytes from index I" / "incomplete utf-8 byte sequence from index I"
std::string describe_utf8_fault(const Utf8Fault& fault);

}  // namespace vorlik::json
