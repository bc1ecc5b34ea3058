// The frame entry points.
#pragma once

#include <cstdint>
#include <string_view>

#include "src/boundary/outcome.hpp"

namespace vorlik {

Outcome encode_frame(std::string_view payload, std::string_view model_type, std::string_view kind,
                     std::uint64_t rev, std::string_view codec) noexcept;
Outcome decode_frame(std::string_view bytes) noexcept;

}  // namespace vorlik
