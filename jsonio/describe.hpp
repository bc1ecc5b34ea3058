// How a value met is named in "invalid type" and "invalid value" messages.
#pragma once

#include <string>
#include <string_view>

#include "jsonio/number.hpp"

namespace vorlik::json {

// string "a\"b": quoted, with its special and non-printable characters escaped.
std::string describe_string(std::string_view s);
// integer `7`, floating point `1.5`
std::string describe_number(const Number& n);

}  // namespace vorlik::json
