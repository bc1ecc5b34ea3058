// Temporary stand-ins until each core routine lands; removed as the real ones arrive.
#include "src/api.hpp"

namespace vorlik {
Outcome diff_json(std::string_view, std::string_view) noexcept { return Outcome::failed("not yet"); }
Outcome apply_json(std::string_view, std::string_view) noexcept { return Outcome::failed("not yet"); }
}  // namespace vorlik
