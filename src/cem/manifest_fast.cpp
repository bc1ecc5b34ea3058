// The manifest on the fast path: the records of a compact, well-formed manifest read with the
// text cursor, and every member they do not know stepped over without a placed error.
#include <cstdint>
#include <string_view>

#include "jsonio/cursor.hpp"
#include "jsonio/record.hpp"
#include "jsonio/token.hpp"
#include "src/cem/manifest.hpp"

namespace vorlik {

namespace {

using json::FieldTable;

// A manifest's records nest eight deep at most, well inside the exact reader's limit, so the
// fast path never needs to count them.
static_assert(json::kMaxDepth > 8);

class FastManifest : public json::TextCursor {
 public:
  FastManifest(std::string_view text, Arena& arena,
               const std::function<void(const Declaration&)>& on_declaration)
      : TextCursor(text, arena), on_declaration_(on_declaration) {}

  bool document() {
    const char* p = list_record(begin_, kManifestFields, [&](const char* q) {
      return list_record(q, kModuleFields, [&](const char* d) {
        d = declaration(d, declaration_);
        if (!gave_up()) on_declaration_(declaration_);
        return d;
      });
    });
    return !gave_up() && json::token::skip_space(p, end_) == end_;
  }

 private:
  // A record in object form: field(index, p) reads the value of a known field and returns the
  // cursor past it; unknown members are stepped over. The array form, a field given twice and a
  // required field missing are left to the exact reader.
  template <std::size_t N, class Field>
  const char* record(const char* p, const FieldTable<N>& fields, Field&& field) {
    std::uint32_t seen = 0;
    if (!opens_empty(p, '}')) {
      do {
        int k = fields.names.match(p, end_);
        if (k < 0) {
          std::string_view name;
          p = key(p, name);
          k = fields.names.find(name);
          if (k < 0) {
            p = skip_value(p);
            continue;
          }
        }
        const std::uint32_t bit = std::uint32_t{1} << k;
        if (seen & bit) return give_up();
        seen |= bit;
        p = field(k, p);
      } while (more(p, '}'));
    }
    return fields.complete(seen) ? p : give_up();
  }

  // A list: each(p) reads one element and returns the cursor past it.
  template <class Each>
  const char* list(const char* p, Each&& each) {
    if (opens_empty(p, ']')) return p;
    do p = each(p);
    while (more(p, ']'));
    return p;
  }

  // A Manifest or a Module: a record whose one field is a list.
  template <class Each>
  const char* list_record(const char* p, const FieldTable<1>& fields, Each&& each) {
    return record(p, fields, [&](int, const char* q) { return list(q, each); });
  }

  const char* str(const char* p, std::string_view& out) {
    if (at(p) != '"') return give_up();
    return string(p, out);
  }
  const char* optional_str(const char* p, std::optional<std::string_view>& out) {
    if (at(p) == 'n') {
      if (!literal(p, "null")) return give_up();
      out.reset();
      return p;
    }
    return str(p, out.emplace());
  }
  const char* boolean(const char* p, bool& out) {
    at(p);
    if (literal(p, "true"))
      out = true;
    else if (literal(p, "false"))
      out = false;
    else
      return give_up();
    return p;
  }

  const char* named(const char* p, Named& n) {
    return record(p, kNamedFields, [&](int, const char* q) { return str(q, n.name); });
  }

  const char* optional_type_text(const char* p, std::optional<TypeText>& out) {
    if (at(p) == 'n') {
      if (!literal(p, "null")) return give_up();
      out.reset();
      return p;
    }
    TypeText& t = out.emplace();
    return record(p, kTypeTextFields, [&](int, const char* q) { return optional_str(q, t.text); });
  }

  const char* attribute(const char* p, Attribute& a) {
    return record(p, kAttributeFields, [&](int field, const char* q) {
      switch (field) {
        case 0:
          return str(q, a.name);
        case 1:
          return optional_type_text(q, a.type);
        case 2:
          return optional_str(q, a.default_value);
        default:
          return optional_str(q, a.description);
      }
    });
  }

  const char* declaration(const char* p, Declaration& d) {
    d.clear();
    return record(p, kDeclarationFields, [&](int field, const char* q) {
      switch (field) {
        case 0:
          return boolean(q, d.custom_element);
        case 1:
          return optional_str(q, d.tag_name);
        case 2:
          return optional_str(q, d.summary);
        case 3:
          return optional_str(q, d.description);
        case 4:
          return list(q, [&](const char* e) { return attribute(e, d.attributes.emplace_back()); });
        case 5:
          return list(q, [&](const char* e) { return named(e, d.events.emplace_back()); });
        default:
          return list(q, [&](const char* e) { return named(e, d.slots.emplace_back()); });
      }
    });
  }

  const std::function<void(const Declaration&)>& on_declaration_;
  Declaration declaration_;
};

}  // namespace

bool read_manifest_fast(std::string_view text, Arena& arena,
                        const std::function<void(const Declaration&)>& on_declaration) {
  return FastManifest(text, arena, on_declaration).document();
}

}  // namespace vorlik
