#include "invdb/json.h"

#include <cmath>
#include <cstdio>

namespace invdb {

namespace {

// Builds one object, member by member, with the commas between them.
class Object {
 public:
  Object& raw(std::string_view name, const std::string& json) {
    text_ += text_.size() > 1 ? ", " : "";
    text_ += json_string(name) + ": " + json;
    return *this;
  }
  Object& number(std::string_view name, long value) { return raw(name, std::to_string(value)); }
  Object& boolean(std::string_view name, bool value) { return raw(name, value ? "true" : "false"); }
  Object& text(std::string_view name, std::string_view value) { return raw(name, json_string(value)); }
  std::string str() const { return text_ + "}"; }

 private:
  std::string text_ = "{";
};

template <typename T, typename F>
std::string list(const std::vector<T>& items, F item_json) {
  std::string json = "[";
  for (std::size_t i = 0; i < items.size(); ++i) json += (i ? ", " : "") + item_json(items[i]);
  return json + "]";
}

Object file_object(const StatReport::File& f) {
  Object o;
  o.text("file", f.name).number("map_blocks", f.map_blocks).boolean("open", f.open).boolean("damaged", f.damaged);
  return o;
}

}  // namespace

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte > 0x7e) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string check_json(const CheckReport& r) {
  return Object()
             .boolean("clean", r.clean())
             .boolean("only_open_marks", r.only_open_marks())
             .raw("findings", list(r.findings, [](const std::string& f) { return json_string(f); }))
             .number("items", r.items)
             .number("other_keys", r.live_keys - r.items)
             .number("deleted", r.deleted)
             .number("levels", r.levels)
             .number("nodes", r.nodes)
             .number("blocks_in_use", r.blocks_in_use)
             .str() +
         "\n";
}

std::string stat_json(const StatReport& r) {
  const std::string levels = list(r.levels, [](const StatReport::Level& l) {
    return Object()
        .number("nodes", l.nodes)
        .number("entries", l.entries)
        .number("fill_percent", std::lround(l.fill_percent))
        .str();
  });
  const std::string index = file_object(r.index)
                                .number("key_length", r.key_length)
                                .number("entries_per_node", r.entries_per_node)
                                .number("items", r.counted)
                                .number("other_keys", r.other_keys)
                                .number("deleted", r.deleted)
                                .raw("levels", levels)
                                .number("nodes_in_use", r.index.in_use)
                                .number("nodes_free", r.index.free)
                                .str();
  const std::string records =
      file_object(r.records).number("blocks_in_use", r.records.in_use).number("blocks_free", r.records.free).str();
  return Object().raw("index", index).raw("records", records).str() + "\n";
}

}  // namespace invdb
