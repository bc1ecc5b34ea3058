// The manifest entry point.
#pragma once

#include <string_view>

#include "src/boundary/outcome.hpp"

namespace vorlik {

Outcome parse_cem(std::string_view manifest_text) noexcept;

}  // namespace vorlik
