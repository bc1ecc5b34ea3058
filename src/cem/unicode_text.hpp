// The two pieces of Unicode knowledge the component schemas need, from generated tables.
#pragma once

#include <string>
#include <string_view>

namespace vorlik {

// s without the characters of the Unicode White_Space property at either end.
std::string_view trim_white_space(std::string_view s);

// Appends s with its first character replaced by its full uppercase mapping (root locale, so
// "ß" becomes "SS"); the rest of s is appended unchanged.
void append_upper_first(std::string& out, std::string_view s);

}  // namespace vorlik
