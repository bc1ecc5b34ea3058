#include "src/manifest.hpp"

#include <string>

namespace vorlik {

namespace {

using json::Reader;
using Elements = json::Reader::Elements;

// A known member may stand only once in an object; the second is refused before its colon.
void mark_seen(unsigned& seen, unsigned bit, std::string_view key) {
  if (seen & bit) json::fail_unplaced("duplicate field `" + std::string(key) + "`");
  seen |= bit;
}

void skip_member(Reader& r) {
  r.colon();
  r.skip_value();
}

// In array form a field without a missing-key value must be present.
void require_field(Elements& el, std::size_t index, std::string_view record, std::size_t count) {
  if (el.next()) return;
  json::fail_unplaced("invalid length " + std::to_string(index) + ", expected struct " +
                      std::string(record) + " with " + std::to_string(count) +
                      (count == 1 ? " element" : " elements"));
}

std::optional<std::string_view> read_optional_str(Reader& r) {
  if (r.take_null()) return std::nullopt;
  return r.read_str();
}

template <class T, class ReadOne>
void read_list(Reader& r, std::vector<T>& out, ReadOne read_one) {
  r.read_seq([&] { read_one(r, out.emplace_back()); });
}

void read_type_text(Reader& r, TypeText& t) {
  unsigned seen = 0;
  r.read_record(
      "struct TypeText",
      [&](std::string_view key) {
        if (key == "text") {
          mark_seen(seen, 1, key);
          r.colon();
          t.text = read_optional_str(r);
        } else {
          skip_member(r);
        }
      },
      [] {},
      [&](Elements& el) {
        require_field(el, 0, "TypeText", 1);
        t.text = read_optional_str(r);
      });
}

std::optional<TypeText> read_optional_type_text(Reader& r) {
  if (r.take_null()) return std::nullopt;
  TypeText t;
  read_type_text(r, t);
  return t;
}

void read_named(Reader& r, Named& n) {
  unsigned seen = 0;
  r.read_record(
      "struct Named",
      [&](std::string_view key) {
        if (key == "name") {
          mark_seen(seen, 1, key);
          r.colon();
          n.name = r.read_str();
        } else {
          skip_member(r);
        }
      },
      [&] {
        if (!seen) json::fail_unplaced("missing field `name`");
      },
      [&](Elements& el) {
        require_field(el, 0, "Named", 1);
        n.name = r.read_str();
      });
}

void read_attribute(Reader& r, Attribute& a) {
  enum : unsigned { kName = 1, kType = 2, kDefault = 4, kDescription = 8 };
  unsigned seen = 0;
  r.read_record(
      "struct Attribute",
      [&](std::string_view key) {
        if (key == "name") {
          mark_seen(seen, kName, key);
          r.colon();
          a.name = r.read_str();
        } else if (key == "type") {
          mark_seen(seen, kType, key);
          r.colon();
          a.type = read_optional_type_text(r);
        } else if (key == "default") {
          mark_seen(seen, kDefault, key);
          r.colon();
          a.default_value = read_optional_str(r);
        } else if (key == "description") {
          mark_seen(seen, kDescription, key);
          r.colon();
          a.description = read_optional_str(r);
        } else {
          skip_member(r);
        }
      },
      [&] {
        if (!(seen & kName)) json::fail_unplaced("missing field `name`");
      },
      [&](Elements& el) {
        require_field(el, 0, "Attribute", 4);
        a.name = r.read_str();
        require_field(el, 1, "Attribute", 4);
        a.type = read_optional_type_text(r);
        require_field(el, 2, "Attribute", 4);
        a.default_value = read_optional_str(r);
        require_field(el, 3, "Attribute", 4);
        a.description = read_optional_str(r);
      });
}

// Reads into a Declaration that held the previous one, keeping the capacity of its lists.
void read_declaration(Reader& r, Declaration& d) {
  d.custom_element = false;
  d.tag_name.reset();
  d.summary.reset();
  d.description.reset();
  d.attributes.clear();
  d.events.clear();
  d.slots.clear();

  enum : unsigned {
    kCustomElement = 1,
    kTagName = 2,
    kSummary = 4,
    kDescription = 8,
    kAttributes = 16,
    kEvents = 32,
    kSlots = 64,
  };
  unsigned seen = 0;
  r.read_record(
      "struct Declaration",
      [&](std::string_view key) {
        if (key == "customElement") {
          mark_seen(seen, kCustomElement, key);
          r.colon();
          d.custom_element = r.read_bool();
        } else if (key == "tagName") {
          mark_seen(seen, kTagName, key);
          r.colon();
          d.tag_name = read_optional_str(r);
        } else if (key == "summary") {
          mark_seen(seen, kSummary, key);
          r.colon();
          d.summary = read_optional_str(r);
        } else if (key == "description") {
          mark_seen(seen, kDescription, key);
          r.colon();
          d.description = read_optional_str(r);
        } else if (key == "attributes") {
          mark_seen(seen, kAttributes, key);
          r.colon();
          read_list(r, d.attributes, read_attribute);
        } else if (key == "events") {
          mark_seen(seen, kEvents, key);
          r.colon();
          read_list(r, d.events, read_named);
        } else if (key == "slots") {
          mark_seen(seen, kSlots, key);
          r.colon();
          read_list(r, d.slots, read_named);
        } else {
          skip_member(r);
        }
      },
      [] {},
      [&](Elements& el) {
        // The optional strings have no missing-key value here: only the flag and the lists
        // may be left off the end.
        if (el.next()) d.custom_element = r.read_bool();
        require_field(el, 1, "Declaration", 7);
        d.tag_name = read_optional_str(r);
        require_field(el, 2, "Declaration", 7);
        d.summary = read_optional_str(r);
        require_field(el, 3, "Declaration", 7);
        d.description = read_optional_str(r);
        if (el.next()) read_list(r, d.attributes, read_attribute);
        if (el.next()) read_list(r, d.events, read_named);
        if (el.next()) read_list(r, d.slots, read_named);
      });
}

// A Module or a Manifest: a record whose one field is a list.
template <class ReadElement>
void read_list_record(Reader& r, std::string_view record, std::string_view key_name,
                      ReadElement read_element) {
  unsigned seen = 0;
  r.read_record(
      record,
      [&](std::string_view key) {
        if (key == key_name) {
          mark_seen(seen, 1, key);
          r.colon();
          r.read_seq(read_element);
        } else {
          skip_member(r);
        }
      },
      [] {},
      [&](Elements& el) {
        if (el.next()) r.read_seq(read_element);
      });
}

}  // namespace

void read_manifest(Reader& r, const std::function<void(const Declaration&)>& on_declaration) {
  Declaration declaration;
  read_list_record(r, "struct Manifest", "modules", [&] {
    read_list_record(r, "struct Module", "declarations", [&] {
      read_declaration(r, declaration);
      on_declaration(declaration);
    });
  });
}

}  // namespace vorlik
