#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "iOSAPI/plist_convert_internal.h"

namespace {

constexpr int64_t kSecondsFrom1970To2001 = 978307200;

std::string UpperHex(const char* bytes, uint64_t length) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(length * 2);
  for (uint64_t i = 0; i < length; ++i) {
    text += kHex[static_cast<uint8_t>(bytes[i]) >> 4];
    text += kHex[static_cast<uint8_t>(bytes[i]) & 0x0F];
  }
  return text;
}

}  // namespace

std::string AppleDateText(int64_t seconds_since_2001) {
  time_t t = static_cast<time_t>(seconds_since_2001 + kSecondsFrom1970To2001);
  struct tm utc {};
  if (gmtime_r(&t, &utc) == nullptr) return std::string();
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

bool ParseAppleDateText(const std::string& text, int64_t* seconds_since_2001) {
  struct tm utc {};
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &utc.tm_year, &utc.tm_mon, &utc.tm_mday, &utc.tm_hour,
                  &utc.tm_min, &utc.tm_sec, &consumed) != 6 ||
      static_cast<size_t>(consumed) != text.size()) {
    return false;
  }
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  *seconds_since_2001 = static_cast<int64_t>(timegm(&utc)) - kSecondsFrom1970To2001;
  return true;
}

PlistValue FromPlist(plist_t node, DataForm data_form) {
  switch (plist_get_node_type(node)) {
    case PLIST_STRING:
    case PLIST_KEY: {
      char* text = nullptr;
      plist_get_string_val(node, &text);
      PlistValue value = PlistValue::String(text != nullptr ? text : "");
      std::free(text);
      return value;
    }
    case PLIST_UINT: {
      uint64_t number = 0;
      plist_get_uint_val(node, &number);
      // Negative integers are kept in two's complement: read the bits as signed.
      return PlistValue::Integer(static_cast<int64_t>(number));
    }
    case PLIST_REAL: {
      double number = 0;
      plist_get_real_val(node, &number);
      return PlistValue::Real(number);
    }
    case PLIST_BOOLEAN: {
      uint8_t flag = 0;
      plist_get_bool_val(node, &flag);
      return PlistValue::Boolean(flag != 0);
    }
    case PLIST_DATE: {
      int32_t seconds = 0, microseconds = 0;
      plist_get_date_val(node, &seconds, &microseconds);
      return PlistValue::Date(AppleDateText(seconds));
    }
    case PLIST_DATA: {
      char* bytes = nullptr;
      uint64_t length = 0;
      plist_get_data_val(node, &bytes, &length);
      PlistValue value = data_form == DataForm::kUpperHexText ? PlistValue::String(UpperHex(bytes, length))
                                                              : PlistValue::Data(std::string(bytes, length));
      std::free(bytes);
      return value;
    }
    case PLIST_ARRAY: {
      PlistValue array = PlistValue::MakeArray();
      uint32_t count = plist_array_get_size(node);
      for (uint32_t i = 0; i < count; ++i) array.array().push_back(FromPlist(plist_array_get_item(node, i), data_form));
      return array;
    }
    case PLIST_DICT: {
      PlistValue dict = PlistValue::MakeDict();
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &key, &item);
        if (key == nullptr) break;
        if (item != nullptr) dict.dict()[key] = FromPlist(item, data_form);
        std::free(key);
      }
      std::free(iter);
      return dict;
    }
    default:
      return PlistValue::String(std::string());  // kinds the tree has no place for (UIDs) read as empty text
  }
}

plist_t ToPlist(const PlistValue& value) {
  switch (value.kind()) {
    case PlistValue::Kind::kString:
      return plist_new_string(value.Bytes().c_str());
    case PlistValue::Kind::kInteger:
      return plist_new_uint(static_cast<uint64_t>(value.AsInt64()));
    case PlistValue::Kind::kReal:
      return plist_new_real(value.AsReal());
    case PlistValue::Kind::kBoolean:
      return plist_new_bool(value.AsBool() ? 1 : 0);
    case PlistValue::Kind::kDate: {
      int64_t seconds = 0;
      ParseAppleDateText(value.Text(), &seconds);
      return plist_new_date(static_cast<int32_t>(seconds), 0);
    }
    case PlistValue::Kind::kData:
      return plist_new_data(value.Bytes().data(), value.Bytes().size());
    case PlistValue::Kind::kArray: {
      plist_t array = plist_new_array();
      for (const PlistValue& item : value.array()) plist_array_append_item(array, ToPlist(item));
      return array;
    }
    case PlistValue::Kind::kDict: {
      plist_t dict = plist_new_dict();
      for (const auto& [key, item] : value.dict()) plist_dict_set_item(dict, key.c_str(), ToPlist(item));
      return dict;
    }
  }
  return plist_new_dict();
}
