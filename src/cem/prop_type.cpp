#include "src/cem/prop_type.hpp"

#include "src/cem/unicode_text.hpp"

namespace vorlik {

namespace {

bool is_quoted(std::string_view s) {
  return s.size() >= 2 && (s.front() == '\'' || s.front() == '"') && s.back() == s.front();
}

bool is_null_word(std::string_view s) {
  return s == "null" || s == "undefined";
}

// Calls each(piece) for every piece between the vertical lines, trimmed, empty ones left out.
template <class Each>
void for_each_piece(std::string_view text, Each&& each) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != '|') continue;
    std::string_view piece = trim_white_space(text.substr(start, i - start));
    if (!piece.empty()) each(piece);
    start = i + 1;
  }
}

}  // namespace

void parse_type(std::string_view text, PropType& type) {
  type.base = PropType::Base::Any;
  type.optional = false;
  type.literals.clear();
  std::size_t count = 0;
  bool nullable = false;
  bool all_quoted = true;
  std::string_view only;
  for_each_piece(text, [&](std::string_view piece) {
    if (is_null_word(piece)) {
      nullable = true;
      return;
    }
    ++count;
    only = piece;
    // Listed as if it were an Enum until a piece proves otherwise.
    if (all_quoted && is_quoted(piece))
      type.literals.push_back(piece.substr(1, piece.size() - 2));
    else
      all_quoted = false;
  });

  if (count == 0) return;
  if (all_quoted) {
    type.base = PropType::Base::Enum;
  } else {
    type.literals.clear();
    if (count == 1 && only == "boolean")
      type.base = PropType::Base::Bool;
    else if (count == 1 && only == "string")
      type.base = PropType::Base::Str;
    else if (count == 1 && only == "number")
      type.base = PropType::Base::Number;
    else
      return;  // Any is never made optional
  }
  type.optional = nullable;
}

void write_prop_type(const PropType& type, json::Writer& out) {
  if (type.optional) out.raw("{\"Optional\":");
  switch (type.base) {
    case PropType::Base::Bool:
      out.raw("\"Bool\"");
      break;
    case PropType::Base::Str:
      out.raw("\"Str\"");
      break;
    case PropType::Base::Number:
      out.raw("\"Number\"");
      break;
    case PropType::Base::Any:
      out.raw("\"Any\"");
      break;
    case PropType::Base::Enum: {
      out.raw("{\"Enum\":[");
      bool first = true;
      for (std::string_view literal : type.literals) {
        if (!first) out.raw(',');
        first = false;
        out.string(literal);
      }
      out.raw("]}");
      break;
    }
  }
  if (type.optional) out.raw('}');
}

}  // namespace vorlik
