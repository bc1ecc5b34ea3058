// The one error of the frame envelope and the payload codecs. Its message is final: the entry
// points hand it on as the failure text without adding to it. The message is a byte string of
// known length, whole even where it quotes the caller's text with a NUL inside; what() is only
// its C view.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace vorlik::belvane {

class WireError : public std::exception {
 public:
  explicit WireError(std::string message) : message_(std::move(message)) {}

  const std::string& message() const noexcept { return message_; }
  std::string take_message() noexcept { return std::move(message_); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

}  // namespace vorlik::belvane
