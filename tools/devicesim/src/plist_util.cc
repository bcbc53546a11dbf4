#include "plist_util.h"

#include <cstdlib>
#include <cstring>

namespace devicesim {
namespace {

// libplist counts dates from 2001-01-01; the API uses the Unix epoch.
constexpr int64_t kMacEpochOffset = 978307200;

}  // namespace

PlistPtr ParsePlist(const char* data, size_t size) {
  plist_t node = nullptr;
  if (size >= 8 && std::memcmp(data, "bplist00", 8) == 0) {
    plist_from_bin(data, static_cast<uint32_t>(size), &node);
  } else if (size > 0) {
    plist_from_xml(data, static_cast<uint32_t>(size), &node);
  }
  return PlistPtr(node);
}

std::string ToXml(plist_t node) {
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(node, &xml, &length);
  std::string out(xml ? xml : "", xml ? length : 0);
  if (xml) plist_to_xml_free(xml);
  return out;
}

std::string ToBinary(plist_t node) {
  char* bin = nullptr;
  uint32_t length = 0;
  plist_to_bin(node, &bin, &length);
  std::string out(bin ? bin : "", bin ? length : 0);
  if (bin) plist_to_bin_free(bin);
  return out;
}

std::optional<std::string> DictString(plist_t dict, const char* key) {
  if (!dict || plist_get_node_type(dict) != PLIST_DICT) return std::nullopt;
  plist_t item = plist_dict_get_item(dict, key);
  if (!item || plist_get_node_type(item) != PLIST_STRING) return std::nullopt;
  uint64_t length = 0;
  const char* text = plist_get_string_ptr(item, &length);
  return std::string(text ? text : "", text ? length : 0);
}

std::optional<uint64_t> DictUint(plist_t dict, const char* key) {
  if (!dict || plist_get_node_type(dict) != PLIST_DICT) return std::nullopt;
  plist_t item = plist_dict_get_item(dict, key);
  if (!item || plist_get_node_type(item) != PLIST_UINT) return std::nullopt;
  uint64_t value = 0;
  plist_get_uint_val(item, &value);
  return value;
}

plist_t ToPlist(const Value& value) {
  switch (value.type()) {
    case Value::Type::kString:
      return plist_new_string(value.text().c_str());
    case Value::Type::kBool:
      return plist_new_bool(value.flag() ? 1 : 0);
    case Value::Type::kInteger:
      // libplist 2.2 has only unsigned integers; a negative number keeps its two's-complement bits.
      return plist_new_uint(static_cast<uint64_t>(value.integer()));
    case Value::Type::kReal:
      return plist_new_real(value.real());
    case Value::Type::kData:
      return plist_new_data(value.text().data(), value.text().size());
    case Value::Type::kDate:
      return plist_new_date(static_cast<int32_t>(value.integer() - kMacEpochOffset), 0);
    case Value::Type::kArray: {
      plist_t array = plist_new_array();
      for (const Value& item : value.items()) plist_array_append_item(array, ToPlist(item));
      return array;
    }
    case Value::Type::kDict: {
      plist_t dict = plist_new_dict();
      for (const auto& [key, member] : value.members()) plist_dict_set_item(dict, key.c_str(), ToPlist(member));
      return dict;
    }
  }
  return plist_new_string("");
}

Value FromPlist(plist_t node) {
  if (!node) return Value();
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t flag = 0;
      plist_get_bool_val(node, &flag);
      return Value(flag != 0);
    }
    case PLIST_UINT: {
      uint64_t number = 0;
      plist_get_uint_val(node, &number);
      return Value(number);
    }
    case PLIST_REAL: {
      double number = 0;
      plist_get_real_val(node, &number);
      return Value(number);
    }
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      return Value(std::string(text ? text : "", text ? length : 0));
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* bytes = plist_get_data_ptr(node, &length);
      return Value::Data(std::string(bytes ? bytes : "", bytes ? length : 0));
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return Value::Date(static_cast<int64_t>(sec) + kMacEpochOffset);
    }
    case PLIST_ARRAY: {
      Value array = Value::Array();
      for (uint32_t i = 0; i < plist_array_get_size(node); ++i) array.Append(FromPlist(plist_array_get_item(node, i)));
      return array;
    }
    case PLIST_DICT: {
      Value dict = Value::Dict();
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      while (iter) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &key, &item);
        if (!key) break;
        dict.Set(key, FromPlist(item));
        std::free(key);
      }
      std::free(iter);
      return dict;
    }
    default:
      return Value();
  }
}

}  // namespace devicesim
