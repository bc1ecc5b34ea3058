// The one error of the frame envelope and the payload codecs. Its message is final: the entry
// points hand it on as the failure text without adding to it.
#pragma once

#include <stdexcept>

namespace vorlik::belvane {

class WireError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vorlik::belvane
