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

namespace {

// Deeper trees are refused: a device's answer must not be able to exhaust the stack.
constexpr int kMaxDepth = 128;

bool Convert(plist_t node, DataForm data_form, int depth, PlistValue* out);

}  // namespace

bool FromPlist(plist_t node, DataForm data_form, PlistValue* out) { return Convert(node, data_form, 0, out); }

namespace {

bool Convert(plist_t node, DataForm data_form, int depth, PlistValue* out) {
  if (depth > kMaxDepth) return false;
  switch (plist_get_node_type(node)) {
    case PLIST_STRING:
    case PLIST_KEY: {
      // Read through the pointer with its length: the copying reader aborts on a string holding a NUL.
      uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      *out = PlistValue::String(text != nullptr ? std::string(text, length) : std::string());
      return true;
    }
    case PLIST_UINT: {
      uint64_t number = 0;
      plist_get_uint_val(node, &number);
      // Negative integers are kept in two's complement: read the bits as signed.
      *out = PlistValue::Integer(static_cast<int64_t>(number));
      return true;
    }
    case PLIST_REAL: {
      double number = 0;
      plist_get_real_val(node, &number);
      *out = PlistValue::Real(number);
      return true;
    }
    case PLIST_BOOLEAN: {
      uint8_t flag = 0;
      plist_get_bool_val(node, &flag);
      *out = PlistValue::Boolean(flag != 0);
      return true;
    }
    case PLIST_DATE: {
      int32_t seconds = 0, microseconds = 0;
      plist_get_date_val(node, &seconds, &microseconds);
      *out = PlistValue::Date(AppleDateText(seconds));
      return true;
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* bytes = plist_get_data_ptr(node, &length);
      std::string data = bytes != nullptr ? std::string(bytes, length) : std::string();
      *out = data_form == DataForm::kUpperHexText ? PlistValue::String(UpperHex(data.data(), data.size()))
                                                  : PlistValue::Data(std::move(data));
      return true;
    }
    case PLIST_ARRAY: {
      *out = PlistValue::MakeArray();
      uint32_t count = plist_array_get_size(node);
      for (uint32_t i = 0; i < count; ++i) {
        PlistValue item;
        if (!Convert(plist_array_get_item(node, i), data_form, depth + 1, &item)) return false;
        out->array().push_back(std::move(item));
      }
      return true;
    }
    case PLIST_DICT: {
      *out = PlistValue::MakeDict();
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      bool ok = true;
      while (ok) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &key, &item);
        if (key == nullptr) break;
        PlistValue value;
        if (item != nullptr && (ok = Convert(item, data_form, depth + 1, &value))) out->dict()[key] = std::move(value);
        std::free(key);
      }
      std::free(iter);
      return ok;
    }
    default:
      *out = PlistValue::String(std::string());  // kinds the tree has no place for (UIDs) read as empty text
      return true;
  }
}

}  // namespace

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
