// The manifest on the fast path: the records of a compact, well-formed manifest read with the
// text cursor, and every member they do not know stepped over without a placed error.
#include <array>
#include <cstdint>
#include <string_view>

#include "jsonio/error.hpp"
#include "jsonio/names.hpp"
#include "src/cem/manifest.hpp"
#include "src/text_cursor.hpp"

namespace vorlik {

namespace {

// A manifest's records nest eight deep at most, well inside the exact reader's limit, so the
// fast path never needs to count them.
static_assert(json::kMaxDepth > 8);

class FastManifest : public TextCursor {
 public:
  FastManifest(std::string_view text, Arena& arena,
               const std::function<void(const Declaration&)>& on_declaration)
      : TextCursor(text, arena), on_declaration_(on_declaration) {}

  void document() {
    const char* p = list_record(begin_, "modules", [&](const char* q) {
      return list_record(q, "declarations", [&](const char* d) {
        d = declaration(d, declaration_);
        on_declaration_(declaration_);
        return d;
      });
    });
    if (space(p) != end_) throw GiveUp{};
  }

 private:
  // The index of `name` among a record's field names, or -1 for a member it does not know.
  template <std::size_t N>
  static int field_index(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::size_t k = 0; k < N; ++k)
      if (json::same_name(names[k], name)) return static_cast<int>(k);
    return -1;
  }

  // A record in object form: field(index, p) reads the value of a known field and returns the
  // cursor past it; unknown members are stepped over. Returns the fields met, one bit each. The
  // array form, and a field given twice, are left to the exact reader.
  template <std::size_t N, class Field>
  const char* record(const char* p, const std::array<std::string_view, N>& names,
                     std::uint32_t& seen, Field&& field) {
    expect(p, '{');
    seen = 0;
    if (opens_empty(p, '}')) return p;
    do {
      std::string_view name;
      p = key(p, name);
      const int k = field_index(names, name);
      if (k < 0) {
        p = skip_value(p);
        continue;
      }
      const std::uint32_t bit = std::uint32_t{1} << k;
      if (seen & bit) throw GiveUp{};
      seen |= bit;
      p = field(k, p);
    } while (more(p, '}'));
    return p;
  }

  // A list: each(p) reads one element and returns the cursor past it.
  template <class Each>
  const char* list(const char* p, Each&& each) {
    expect(p, '[');
    if (opens_empty(p, ']')) return p;
    do p = each(p);
    while (more(p, ']'));
    return p;
  }

  // A Manifest or a Module: a record whose one field is a list.
  template <class Each>
  const char* list_record(const char* p, std::string_view key, Each&& each) {
    std::uint32_t seen;
    return record(p, std::array{key}, seen, [&](int, const char* q) { return list(q, each); });
  }

  const char* str(const char* p, std::string_view& out) {
    if (at(p) != '"') throw GiveUp{};
    return string(p, out);
  }
  const char* optional_str(const char* p, std::optional<std::string_view>& out) {
    if (at(p) == 'n') {
      if (!literal(p, "null")) throw GiveUp{};
      out.reset();
      return p;
    }
    return str(p, out.emplace());
  }
  const char* boolean(const char* p, bool& out) {
    if (at(p) == 't' && literal(p, "true")) {
      out = true;
    } else if (*p == 'f' && literal(p, "false")) {
      out = false;
    } else {
      throw GiveUp{};
    }
    return p;
  }

  // A record whose one field, `name`, is required.
  const char* named(const char* p, Named& n) {
    std::uint32_t seen;
    p = record(p, std::array<std::string_view, 1>{"name"}, seen,
               [&](int, const char* q) { return str(q, n.name); });
    if (!seen) throw GiveUp{};
    return p;
  }

  const char* optional_type_text(const char* p, std::optional<TypeText>& out) {
    if (at(p) == 'n') {
      if (!literal(p, "null")) throw GiveUp{};
      out.reset();
      return p;
    }
    TypeText& t = out.emplace();
    std::uint32_t seen;
    return record(p, std::array<std::string_view, 1>{"text"}, seen,
                  [&](int, const char* q) { return optional_str(q, t.text); });
  }

  const char* attribute(const char* p, Attribute& a) {
    static constexpr std::array<std::string_view, 4> kNames = {"name", "type", "default",
                                                               "description"};
    std::uint32_t seen;
    p = record(p, kNames, seen, [&](int field, const char* q) {
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
    if (!(seen & 1u)) throw GiveUp{};
    return p;
  }

  const char* declaration(const char* p, Declaration& d) {
    static constexpr std::array<std::string_view, 7> kNames = {
        "customElement", "tagName", "summary", "description", "attributes", "events", "slots"};
    d.clear();
    std::uint32_t seen;
    return record(p, kNames, seen, [&](int field, const char* q) {
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
  try {
    FastManifest(text, arena, on_declaration).document();
    return true;
  } catch (const GiveUp&) {
  } catch (const json::ReadError&) {
  }
  return false;
}

}  // namespace vorlik
