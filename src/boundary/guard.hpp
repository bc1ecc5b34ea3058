// The boundary of every core routine: reader errors become failure messages, allocation
// failure becomes OutOfMemory, and nothing escapes as an exception.
#pragma once

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "containers/arena.hpp"
#include "jsonio/error.hpp"
#include "jsonio/reader.hpp"
#include "src/boundary/outcome.hpp"

namespace vorlik {

// A failure whose message is final (already positioned, or needing no position).
struct Failure {
  std::string message;
};

template <class Body>
Outcome guarded(Body&& body) noexcept {
  try {
    return Outcome::ok(body());
  } catch (Failure& f) {
    return Outcome::failed(std::move(f.message));
  } catch (const std::bad_alloc&) {
    return Outcome::out_of_memory();
  } catch (...) {
    return Outcome::failed("internal error");
  }
}

// Reads one complete JSON text (only white space may follow the value) with read(reader); a
// reader error becomes a Failure carrying the positioned message.
template <class Read>
auto read_document(std::string_view text, Arena& arena, Read&& read, bool check_utf8 = false) {
  json::Reader reader(text, arena, check_utf8);
  try {
    auto value = read(reader);
    reader.finish();
    return value;
  } catch (json::ReadError& e) {
    throw Failure{json::format_error(text, e)};
  }
}

}  // namespace vorlik
