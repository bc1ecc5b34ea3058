#include "belvane/value.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <string>

#include "containers/ordered.hpp"
#include "containers/staging.hpp"
#include "jsonio/variant.hpp"

namespace vorlik {

namespace {

Value::Kind checked_variant(json::Reader& r, std::string_view name) {
  const int k = kValueVariants.find(name);
  if (k < 0) r.fail_here(json::unknown_variant(name, kValueVariants.list()));
  return static_cast<Value::Kind>(k);
}

std::uint32_t element_count(std::size_t n) {
  // Counts and string lengths are held in 32 bits: a value of four billion elements or bytes is
  // refused as out of memory.
  if (n > UINT32_MAX) throw std::bad_alloc();
  return static_cast<std::uint32_t>(n);
}

}  // namespace

bool read_value(json::Reader& r, Value& v) {
  // One level of the nesting: a fault in a value nested inside gives up level by level.
  return r.held([&] {
    return r.read_tagged(
        [&](std::string_view name) {
          if (checked_variant(r, name) != Value::Kind::Null)
            json::fail_unplaced(
                json::msg::invalid_type(json::msg::kFoundUnitVariant, "newtype variant"));
        },
        [&](std::string_view name) {
          v.kind = checked_variant(r, name);
          r.colon();
          switch (v.kind) {
            case Value::Kind::Null:
              r.read_unit();
              break;
            case Value::Kind::Bool:
              v.boolean = r.read_bool();
              break;
            case Value::Kind::Int:
              v.integer = r.read_i64();
              break;
            case Value::Kind::Float:
              v.real = r.read_f64();
              break;
            case Value::Kind::Str: {
              const std::string_view str = r.read_str();
              v.count = element_count(str.size());
              v.chars = str.data();
              break;
            }
            case Value::Kind::List: {
              Staging<Value> items;
              if (!r.read_seq([&] { return read_value(r, items.emplace()); })) return false;
              v.count = element_count(items.size());
              v.items = Staging<Value>::lay_out(items.items(), r.arena());
              break;
            }
            case Value::Kind::Map: {
              Staging<ValueEntry> entries;
              const bool read = r.read_map([&](std::string_view key) {
                r.colon();
                ValueEntry& e = entries.emplace();
                e.first = key;
                return read_value(r, e.second);
              });
              if (!read) return false;
              const ArenaVec<ValueEntry> kept = lay_out_map(entries, r.arena());
              v.count = element_count(kept.size());
              v.entries = kept.data();
              break;
            }
            case Value::Kind::Submodel:
              v.submodel = r.read_u64();
              break;
          }
          return true;
        });
  });
}

void write_value(json::Writer& w, const Value& v) {
  if (v.kind == Value::Kind::Null) {
    w.raw("\"Null\"");
    return;
  }
  w.raw("{\"");
  w.raw(kValueVariants[static_cast<std::size_t>(v.kind)]);
  w.raw("\":");
  switch (v.kind) {
    case Value::Kind::Null:
      break;
    case Value::Kind::Bool:
      w.boolean(v.boolean);
      break;
    case Value::Kind::Int:
      w.i64(v.integer);
      break;
    case Value::Kind::Float:
      w.f64(v.real);
      break;
    case Value::Kind::Str:
      w.string(v.str());
      break;
    case Value::Kind::List: {
      w.raw('[');
      for (std::size_t k = 0; k < v.list().size(); ++k) {
        if (k) w.raw(',');
        write_value(w, v.list()[k]);
      }
      w.raw(']');
      break;
    }
    case Value::Kind::Map: {
      w.raw('{');
      for (std::size_t k = 0; k < v.map().size(); ++k) {
        if (k) w.raw(',');
        w.key(v.map()[k].first);
        write_value(w, v.map()[k].second);
      }
      w.raw('}');
      break;
    }
    case Value::Kind::Submodel:
      w.u64(v.submodel);
      break;
  }
  w.raw('}');
}

bool operator==(const Value& a, const Value& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case Value::Kind::Null:
      return true;
    case Value::Kind::Bool:
      return a.boolean == b.boolean;
    case Value::Kind::Int:
      return a.integer == b.integer;
    case Value::Kind::Float:
      return a.real == b.real;
    case Value::Kind::Str:
      return a.str() == b.str();
    case Value::Kind::List:
      return std::equal(a.list().begin(), a.list().end(), b.list().begin(), b.list().end());
    case Value::Kind::Map:
      return std::equal(a.map().begin(), a.map().end(), b.map().begin(), b.map().end(),
                        [](const ValueEntry& x, const ValueEntry& y) {
                          return x.first == y.first && x.second == y.second;
                        });
    case Value::Kind::Submodel:
      return a.submodel == b.submodel;
  }
  return false;
}

}  // namespace vorlik
