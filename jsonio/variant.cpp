#include "jsonio/variant.hpp"

namespace vorlik::json {

std::string unknown_variant(std::string_view given, std::span<const std::string_view> names) {
  std::string message = "unknown variant `";
  message += given;
  message += "`, expected ";
  if (names.size() != 2) message += "one of ";
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (k) message += names.size() == 2 ? " or " : ", ";
    message += '`';
    message += names[k];
    message += '`';
  }
  return message;
}

std::size_t read_unit_variant(Reader& r, std::span<const std::string_view> names) {
  std::size_t index = 0;
  auto check = [&](std::string_view name) {
    int k = variant_index(name, names);
    if (k < 0) r.fail_here(unknown_variant(name, names));
    index = static_cast<std::size_t>(k);
  };
  r.read_tagged(check, [&](std::string_view name) {
    check(name);
    r.colon();
    r.read_unit();
  });
  return index;
}

}  // namespace vorlik::json
