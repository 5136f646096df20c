#include "pe/version_resource.h"

#include "base/little_endian.h"
#include "base/wtf8.h"

namespace {

constexpr std::size_t header_size = 6;  // wLength, wValueLength, wType
constexpr std::size_t fixed_info_size = 52;

std::size_t align4(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

std::uint16_t at16(const std::string& b, std::size_t at) {
  return le16(reinterpret_cast<const unsigned char*>(b.data() + at));
}

void append16(std::string& b, std::uint32_t v) {
  b += static_cast<char>(v);
  b += static_cast<char>(v >> 8);
}

// The node at `at`, which must end by `end`; offsets are from the resource's start, which is
// 4-byte aligned.
version_node parse_node(const std::string& b, std::size_t at, std::size_t end) {
  if (at + header_size > end) throw pe_error("the version resource is cut short");
  const std::size_t length = at16(b, at), value_length = at16(b, at + 2);
  if (length < header_size || at + length > end) throw pe_error("a version resource node runs past its parent");
  const std::size_t node_end = at + length;
  version_node node;
  node.text = at16(b, at + 4) == 1;
  std::size_t p = at + header_size;
  for (; p + 2 <= node_end && at16(b, p) != 0; p += 2) node.key += static_cast<char16_t>(at16(b, p));
  p = align4(p + 2);
  const std::size_t value_bytes = node.text ? value_length * 2 : value_length;
  if (p + value_bytes > node_end) throw pe_error("a version resource value runs past its node");
  node.value = b.substr(p, value_bytes);
  for (p = align4(p + value_bytes); p < node_end; p = align4(p + at16(b, p))) {
    node.children.push_back(parse_node(b, p, node_end));
    if (at16(b, p) == 0) break;
  }
  return node;
}

void write_node(const version_node& node, std::string& b) {
  b.resize(align4(b.size()), '\0');
  const std::size_t start = b.size();
  append16(b, 0);
  append16(b, static_cast<std::uint32_t>(node.text ? node.value.size() / 2 : node.value.size()));
  append16(b, node.text ? 1 : 0);
  for (const char16_t c : node.key) append16(b, c);
  append16(b, 0);
  b.resize(align4(b.size()), '\0');
  b += node.value;
  for (const version_node& child : node.children) write_node(child, b);
  const std::size_t length = b.size() - start;
  b[start] = static_cast<char>(length);
  b[start + 1] = static_cast<char>(length >> 8);
}

version_node* child(version_node& node, const std::u16string& key) {
  for (version_node& c : node.children)
    if (c.key == key) return &c;
  return nullptr;
}

version_node* string_table(version_node& root) {
  version_node* info = child(root, u"StringFileInfo");
  return info && !info->children.empty() ? &info->children.front() : nullptr;
}

}  // namespace

version_node parse_version(const std::string& bytes) { return parse_node(bytes, 0, bytes.size()); }

std::string write_version(const version_node& root) {
  std::string b;
  write_node(root, b);
  return b;
}

std::optional<std::string> version_string(const version_node& root, const std::string& key) {
  version_node* table = string_table(const_cast<version_node&>(root));
  version_node* node = table ? child(*table, utf8_to_utf16(key)) : nullptr;
  if (!node) return std::nullopt;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < node->value.size(); i += 2) {
    const char16_t c = at16(node->value, i);
    if (c == 0) break;
    text += c;
  }
  return utf16_to_utf8(text);
}

void set_version_string(version_node& root, const std::string& key, const std::string& value) {
  version_node* table = string_table(root);
  if (!table) throw pe_error("the stub's version resource has no string table");
  const std::u16string name = utf8_to_utf16(key);
  version_node* node = child(*table, name);
  if (!node) node = &table->children.emplace_back(version_node{name, true, {}, {}});
  node->text = true;
  node->value.clear();
  for (const char16_t c : utf8_to_utf16(value)) append16(node->value, c);
  append16(node->value, 0);
}

void set_version_numbers(version_node& root, const std::array<std::uint16_t, 4>& version) {
  if (root.value.size() != fixed_info_size) throw pe_error("the stub's version resource has no fixed part");
  const std::uint32_t most = std::uint32_t{version[0]} << 16 | version[1];
  const std::uint32_t least = std::uint32_t{version[2]} << 16 | version[3];
  for (const std::size_t at : {std::size_t{8}, std::size_t{16}}) {  // dwFileVersion, dwProductVersion
    store_le32(reinterpret_cast<unsigned char*>(&root.value[at]), most);
    store_le32(reinterpret_cast<unsigned char*>(&root.value[at + 4]), least);
  }
}

