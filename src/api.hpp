// The core routines behind the module's five functions. They take UTF-8 text (or bytes) and
// return either a result or a failure message; they never raise and never touch the interpreter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vorlik {

struct Outcome {
  enum class Status { Ok, Failed, OutOfMemory };
  Status status = Status::Ok;
  std::string data;  // the result (text or bytes) when Ok, the message when Failed

  static Outcome ok(std::string data) { return {Status::Ok, std::move(data)}; }
  static Outcome failed(std::string message) { return {Status::Failed, std::move(message)}; }
  static Outcome out_of_memory() { return {Status::OutOfMemory, {}}; }
};

Outcome diff_json(std::string_view old_text, std::string_view new_text) noexcept;
Outcome apply_json(std::string_view root_text, std::string_view patch_text) noexcept;
Outcome parse_cem(std::string_view manifest_text) noexcept;
Outcome encode_frame(std::string_view payload, std::string_view model_type, std::string_view kind,
                     std::uint64_t rev, std::string_view codec) noexcept;
Outcome decode_frame(std::string_view bytes) noexcept;

}  // namespace vorlik
