// Temporary stand-ins until each core routine lands; removed as the real ones arrive.
#include "src/api.hpp"

namespace vorlik {
}  // namespace vorlik
