// The JSON-text entry points of the diff and patch core.
#pragma once

#include <string_view>

#include "src/boundary/outcome.hpp"

namespace vorlik {

Outcome diff_json(std::string_view old_text, std::string_view new_text) noexcept;
Outcome apply_json(std::string_view root_text, std::string_view patch_text) noexcept;

}  // namespace vorlik
