#include "src/cem/prop_default.hpp"

#include "jsonio/chars.hpp"
#include "src/cem/unicode_text.hpp"

namespace vorlik {

namespace {

using json::is_digit;

char lower_ascii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equals_ignoring_case(std::string_view s, std::string_view lower_word) {
  if (s.size() != lower_word.size()) return false;
  for (std::size_t i = 0; i < s.size(); ++i)
    if (lower_ascii(s[i]) != lower_word[i]) return false;
  return true;
}

}  // namespace

bool is_decimal_number(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::string_view rest = s.substr(i);
  if (equals_ignoring_case(rest, "inf") || equals_ignoring_case(rest, "infinity") ||
      equals_ignoring_case(rest, "nan"))
    return true;
  bool any_digit = false;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (is_digit(s[i])) {
      any_digit = true;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return false;
  if (i == s.size()) return true;
  if (s[i] != 'e' && s[i] != 'E') return false;
  ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  if (i == s.size()) return false;
  for (; i < s.size(); ++i)
    if (!is_digit(s[i])) return false;
  return true;
}

std::optional<std::string_view> normalize_default(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  std::string_view e = trim_white_space(*text);
  if (e.empty() || e == "null" || e == "undefined") return std::nullopt;
  if (e == "true" || e == "false") return e;
  if (e.size() >= 2 && (e.front() == '\'' || e.front() == '"') && e.back() == e.front())
    return e.substr(1, e.size() - 2);
  if (is_decimal_number(e)) return e;
  return std::nullopt;
}

}  // namespace vorlik
