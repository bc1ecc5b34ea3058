// The default value of a property, normalized from the text a manifest gives for it.
#pragma once

#include <optional>
#include <string_view>

namespace vorlik {

// Keeps booleans, quoted strings (without their quotes) and decimal numbers; every other text,
// including null and undefined, means no default. The result views into `text`.
std::optional<std::string_view> normalize_default(std::optional<std::string_view> text);

// Whether s reads as a decimal number: an optional sign, then "inf", "infinity", "nan" or digits
// with at most one decimal point and an optional exponent; letter case does not matter.
bool is_decimal_number(std::string_view s);

}  // namespace vorlik
