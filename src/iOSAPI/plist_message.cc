#include "iOSAPI/plist_message.h"

#include <cstdlib>
#include <limits>

#include "iOSAPI/plist_convert_internal.h"

namespace {

// Owns a plist tree for the length of a scope.
struct PlistHolder {
  plist_t node = nullptr;
  ~PlistHolder() {
    if (node != nullptr) plist_free(node);
  }
};

bool Parse(const char* bytes, size_t length, PlistHolder* holder) {
  if (bytes == nullptr || length == 0 || length > std::numeric_limits<uint32_t>::max()) return false;
  plist_from_memory(bytes, static_cast<uint32_t>(length), &holder->node);
  return holder->node != nullptr;
}

}  // namespace

std::optional<std::string> MakeMessage(std::string_view xml) {
  if (xml.empty() || xml.size() > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  PlistHolder holder;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &holder.node);
  if (holder.node == nullptr) return std::nullopt;
  char* binary = nullptr;
  uint32_t length = 0;
  plist_to_bin(holder.node, &binary, &length);
  if (binary == nullptr || length == 0) return std::nullopt;
  std::string message(binary, length);
  plist_to_bin_free(binary);
  return message;
}

bool ParseMessage(const char* bytes, size_t length, PlistValue* out) {
  PlistHolder holder;
  if (!Parse(bytes, length, &holder)) return false;
  return FromPlist(holder.node, DataForm::kBytes, out);
}

std::string MessageName(const char* bytes, size_t length) {
  PlistHolder holder;
  if (!Parse(bytes, length, &holder) || plist_get_node_type(holder.node) != PLIST_DICT) return std::string();
  char* xml = nullptr;
  uint32_t xml_length = 0;
  plist_to_xml(holder.node, &xml, &xml_length);
  if (xml != nullptr) plist_to_xml_free(xml);
  if (xml_length > kMaxNamedMessageXml) return std::string();

  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(holder.node, &iter);
  char* key = nullptr;
  plist_t first = nullptr;
  plist_dict_next_item(holder.node, iter, &key, &first);
  std::free(iter);
  std::free(key);
  if (first == nullptr) return std::string();
  PlistValue value;
  if (!FromPlist(first, DataForm::kBytes, &value)) return std::string();
  if (value.IsInteger()) return std::to_string(value.AsInt64());
  return value.Text();
}

std::optional<std::string> SerializePlist(const PlistValue& value, PlistFormat format) {
  PlistHolder holder;
  holder.node = ToPlist(value);
  char* bytes = nullptr;
  uint32_t length = 0;
  if (format == PlistFormat::kXml) {
    plist_to_xml(holder.node, &bytes, &length);
  } else {
    plist_to_bin(holder.node, &bytes, &length);
  }
  if (bytes == nullptr || length == 0) return std::nullopt;
  std::string serialized(bytes, length);
  if (format == PlistFormat::kXml) {
    plist_to_xml_free(bytes);
  } else {
    plist_to_bin_free(bytes);
  }
  return serialized;
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string FillTemplate(std::string_view xml_template, std::initializer_list<std::string_view> values) {
  std::string out;
  auto value = values.begin();
  size_t pos = 0;
  for (;;) {
    size_t place = xml_template.find("%s", pos);
    if (place == std::string_view::npos || value == values.end()) break;
    out.append(xml_template.substr(pos, place - pos));
    out += XmlEscape(*value++);
    pos = place + 2;
  }
  out.append(xml_template.substr(pos));
  return out;
}
