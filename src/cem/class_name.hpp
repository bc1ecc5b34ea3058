// The class name a client gives a custom element, derived from its tag name.
#pragma once

#include <string>
#include <string_view>

namespace vorlik {

// "my-button" -> "MyButton": pieces between "-" and "_" joined, each starting uppercase.
std::string class_name(std::string_view tag_name);

}  // namespace vorlik
