#include "src/node.hpp"

#include <array>
#include <string>

namespace vorlik {

namespace {

std::string quoted(std::string_view s) {
  std::string out = "`";
  out += s;
  out += '`';
  return out;
}

[[noreturn]] void duplicate(std::string_view key) {
  json::fail_unplaced("duplicate field " + quoted(key));
}

[[noreturn]] void too_short(std::size_t index, std::string_view record, std::size_t fields) {
  json::fail_unplaced("invalid length " + std::to_string(index) + ", expected " +
                      std::string(record) + " with " + std::to_string(fields) +
                      (fields == 1 ? " element" : " elements"));
}

std::optional<std::string_view> read_opt_str(json::Reader& r) {
  if (r.take_null()) return std::nullopt;
  return r.read_str();
}

template <class T, class ReadEntry>
void read_entries(json::Reader& r, FlatMap<T>& map, ReadEntry&& read_entry) {
  map.clear();
  r.read_map([&](std::string_view key) {
    r.colon();
    map.emplace_back(key, read_entry(r));
  });
  settle_map(map);
}

std::vector<Node> read_children(json::Reader& r) {
  std::vector<Node> children;
  r.read_seq([&] { children.push_back(read_node(r)); });
  return children;
}

BindMode read_bind_mode(json::Reader& r) {
  BindMode mode = BindMode::OneWay;
  auto check = [&](std::string_view name) {
    if (name == "one-way") {
      mode = BindMode::OneWay;
    } else if (name == "two-way") {
      mode = BindMode::TwoWay;
    } else {
      r.fail_here("unknown variant " + quoted(name) + ", expected `one-way` or `two-way`");
    }
  };
  r.read_tagged(check, [&](std::string_view name) {
    check(name);
    r.colon();
    r.read_unit();
  });
  return mode;
}

enum NodeField { kTag, kKey, kProps, kSlots, kEvents, kBindings, kNodeFields };
constexpr std::array<std::string_view, kNodeFields> kNodeKeys = {"tag",   "key",    "props",
                                                                 "slots", "events", "bindings"};

void read_node_field(json::Reader& r, Node& n, int field) {
  switch (field) {
    case kTag:
      n.tag = r.read_str();
      break;
    case kKey:
      n.key = read_opt_str(r);
      break;
    case kProps:
      read_entries(r, n.props, [](json::Reader& rd) { return read_value(rd); });
      break;
    case kSlots:
      read_entries(r, n.slots, [](json::Reader& rd) { return read_children(rd); });
      break;
    case kEvents:
      read_entries(r, n.events, [](json::Reader& rd) { return read_action(rd); });
      break;
    case kBindings:
      read_entries(r, n.bindings, [](json::Reader& rd) { return read_binding(rd); });
      break;
  }
}

int node_field(std::string_view key) {
  for (int k = 0; k < kNodeFields; ++k)
    if (kNodeKeys[static_cast<std::size_t>(k)] == key) return k;
  return -1;
}

}  // namespace

Node read_node(json::Reader& r) {
  Node n;
  unsigned seen = 0;
  r.read_record(
      "struct Node",
      [&](std::string_view key) {
        int field = node_field(key);
        if (field < 0) {
          r.colon();
          r.skip_value();
          return;
        }
        if (seen & (1u << field)) duplicate(key);
        seen |= 1u << field;
        r.colon();
        read_node_field(r, n, field);
      },
      [&] {
        if (!(seen & (1u << kTag))) json::fail_unplaced("missing field `tag`");
      },
      [&](json::Reader::Elements& el) {
        for (int field = 0; field < kNodeFields; ++field) {
          if (!el.next()) {
            if (field == kTag) too_short(0, "struct Node", kNodeFields);
            break;  // the rest keep their defaults
          }
          read_node_field(r, n, field);
        }
      });
  return n;
}

Binding read_binding(json::Reader& r) {
  Binding b;
  unsigned seen = 0;
  auto read_field = [&](int field) {
    switch (field) {
      case 0:
        b.field = read_opt_str(r);
        break;
      case 1:
        if (r.take_null())
          b.compute.reset();
        else
          b.compute = json::read_json(r);
        break;
      case 2:
        b.mode = read_bind_mode(r);
        break;
    }
  };
  r.read_record(
      "struct Binding",
      [&](std::string_view key) {
        int field = key == "field" ? 0 : key == "compute" ? 1 : key == "mode" ? 2 : -1;
        if (field < 0) {
          r.colon();
          r.skip_value();
          return;
        }
        if (seen & (1u << field)) duplicate(key);
        seen |= 1u << field;
        r.colon();
        read_field(field);
      },
      [&] {
        if (!(seen & 4u)) json::fail_unplaced("missing field `mode`");
      },
      [&](json::Reader::Elements& el) {
        // field and compute default when the array ends early; mode never does.
        bool more = true;
        for (int field = 0; field < 3; ++field) {
          more = more && el.next();
          if (!more) {
            if (field == 2) too_short(2, "struct Binding", 3);
            continue;
          }
          read_field(field);
        }
      });
  return b;
}

void write_binding(json::Writer& w, const Binding& b) {
  w.raw('{');
  if (b.field) {
    w.key("field");
    w.string(*b.field);
    w.raw(',');
  }
  if (b.compute) {
    w.key("compute");
    json::write_json(w, *b.compute);
    w.raw(',');
  }
  w.raw(b.mode == BindMode::OneWay ? "\"mode\":\"one-way\"}" : "\"mode\":\"two-way\"}");
}

void write_node(json::Writer& w, const Node& n) {
  w.raw("{\"tag\":");
  w.string(n.tag);
  if (n.key) {
    w.raw(",\"key\":");
    w.string(*n.key);
  }
  auto write_map = [&](std::string_view name, const auto& map, auto&& write_entry) {
    if (map.empty()) return;
    w.raw(',');
    w.key(name);
    w.raw('{');
    for (std::size_t k = 0; k < map.size(); ++k) {
      if (k) w.raw(',');
      w.key(map[k].first);
      write_entry(map[k].second);
    }
    w.raw('}');
  };
  write_map("props", n.props, [&](const Value& v) { write_value(w, v); });
  write_map("slots", n.slots, [&](const std::vector<Node>& children) {
    w.raw('[');
    for (std::size_t k = 0; k < children.size(); ++k) {
      if (k) w.raw(',');
      write_node(w, children[k]);
    }
    w.raw(']');
  });
  write_map("events", n.events, [&](const Action& a) { write_action(w, a); });
  write_map("bindings", n.bindings, [&](const Binding& b) { write_binding(w, b); });
  w.raw('}');
}

}  // namespace vorlik
