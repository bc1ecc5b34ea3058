// What a core routine returns: a result or a failure message. Core routines never raise and
// never touch the interpreter; the binding turns an Outcome into its own result or exception.
#pragma once

#include <string>
#include <utility>

namespace vorlik {

struct Outcome {
  enum class Status { Ok, Failed, OutOfMemory };
  Status status = Status::Ok;
  std::string data;  // the result (text or bytes) when Ok, the message when Failed

  static Outcome ok(std::string data) { return {Status::Ok, std::move(data)}; }
  static Outcome failed(std::string message) { return {Status::Failed, std::move(message)}; }
  static Outcome out_of_memory() { return {Status::OutOfMemory, {}}; }
};

}  // namespace vorlik
