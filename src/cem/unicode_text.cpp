#include "src/cem/unicode_text.hpp"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <array>
#include <cstdint>

namespace vorlik {

namespace {

// Trimming mostly meets ASCII, so ICU's answers for it are asked once and kept.
const std::array<bool, 128>& ascii_white_space() {
  static const std::array<bool, 128> table = [] {
    std::array<bool, 128> t{};
    for (UChar32 c = 0; c < 128; ++c) t[static_cast<std::size_t>(c)] = u_isUWhiteSpace(c);
    return t;
  }();
  return table;
}

bool is_trail_byte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The code point that starts at `begin` and ends exactly at `end`, or -1 when the bytes are not
// one well-formed UTF-8 sequence.
UChar32 decode_exactly(const char* begin, const char* end) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(begin);
  std::size_t i = 0;
  const auto length = static_cast<std::size_t>(end - begin);
  UChar32 c;
  U8_NEXT(s, i, length, c);
  return i == length ? c : -1;
}

}  // namespace

std::string_view trim_white_space(std::string_view s) {
  const std::array<bool, 128>& ascii = ascii_white_space();
  const char* begin = s.data();
  const char* end = begin + s.size();
  while (begin != end) {
    auto byte = static_cast<unsigned char>(*begin);
    if (byte < 0x80) {
      if (!ascii[byte]) break;
      ++begin;
      continue;
    }
    const auto* p = reinterpret_cast<const std::uint8_t*>(begin);
    std::size_t i = 0;
    UChar32 c;
    U8_NEXT(p, i, static_cast<std::size_t>(end - begin), c);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    begin += i;
  }
  while (begin != end) {
    auto byte = static_cast<unsigned char>(end[-1]);
    if (byte < 0x80) {
      if (!ascii[byte]) break;
      --end;
      continue;
    }
    // Step back to the lead byte of the last character (at most three trail bytes).
    const char* lead = end - 1;
    while (lead != begin && end - lead < 4 && is_trail_byte(*lead)) --lead;
    UChar32 c = decode_exactly(lead, end);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    end = lead;
  }
  return {begin, static_cast<std::size_t>(end - begin)};
}

void append_upper_first(std::string& out, std::string_view s) {
  if (s.empty()) return;
  const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
  std::size_t first_len = 0;
  UChar32 c;
  U8_NEXT(p, first_len, s.size(), c);
  if (c < 0) {  // not UTF-8: nothing to map
    out.append(s);
    return;
  }
  UChar source[2];
  std::int32_t source_len = 0;
  U16_APPEND_UNSAFE(source, source_len, c);

  // Full mappings grow a character to at most three, so these buffers always suffice.
  UChar upper[16];
  UErrorCode status = U_ZERO_ERROR;
  std::int32_t upper_len = u_strToUpper(upper, 16, source, source_len, "", &status);
  char utf8[64];
  std::int32_t utf8_len = 0;
  if (U_SUCCESS(status)) u_strToUTF8(utf8, 64, &utf8_len, upper, upper_len, &status);
  if (U_SUCCESS(status))
    out.append(utf8, static_cast<std::size_t>(utf8_len));
  else
    out.append(s.substr(0, first_len));
  out.append(s.substr(first_len));
}

}  // namespace vorlik
