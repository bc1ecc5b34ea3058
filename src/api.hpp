// The core routines behind the module's five functions, the one header a binding includes. Each
// takes UTF-8 text (or bytes) and returns an Outcome (src/boundary/outcome.hpp): a result or a
// failure message. Each module declares its own entry points in its folder:
//   diff_json, apply_json       src/json.hpp
//   encode_frame, decode_frame  src/wire/wire.hpp
//   parse_cem                   src/cem/cem.hpp
#pragma once

#include "src/boundary/outcome.hpp"
#include "src/cem/cem.hpp"
#include "src/json.hpp"
#include "src/wire/wire.hpp"
