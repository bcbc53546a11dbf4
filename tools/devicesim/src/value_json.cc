#include "value_json.h"

#include <cstdint>

namespace devicesim {
namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t chunk = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) chunk |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) chunk |= static_cast<uint8_t>(bytes[i + 2]);
    out += kBase64Alphabet[(chunk >> 18) & 63];
    out += kBase64Alphabet[(chunk >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64Alphabet[(chunk >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kBase64Alphabet[chunk & 63] : '=';
  }
  return out;
}

bool Base64Decode(const std::string& text, std::string* bytes) {
  bytes->clear();
  uint32_t chunk = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=' || c == '\n' || c == '\r' || c == ' ') continue;
    int digit = Base64Digit(c);
    if (digit < 0) return false;
    chunk = (chunk << 6) | static_cast<uint32_t>(digit);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes->push_back(static_cast<char>((chunk >> bits) & 0xFF));
    }
  }
  return true;
}

bool ValueFromJson(const rapidjson::Value& json, Value* out, std::string* error) {
  if (json.IsString()) {
    *out = Value(std::string(json.GetString(), json.GetStringLength()));
  } else if (json.IsBool()) {
    *out = Value(json.GetBool());
  } else if (json.IsInt64()) {
    *out = Value(json.GetInt64());
  } else if (json.IsUint64()) {
    *out = Value(json.GetUint64());
  } else if (json.IsNumber()) {
    *out = Value(json.GetDouble());
  } else if (json.IsArray()) {
    *out = Value::Array();
    for (const auto& item : json.GetArray()) {
      Value converted;
      if (!ValueFromJson(item, &converted, error)) return false;
      out->Append(std::move(converted));
    }
  } else if (json.IsObject()) {
    if (json.MemberCount() == 1 && json.HasMember("$data")) {
      const auto& text = json["$data"];
      std::string bytes;
      if (!text.IsString() || !Base64Decode(text.GetString(), &bytes)) {
        *error = "\"$data\" must be a base64 string";
        return false;
      }
      *out = Value::Data(std::move(bytes));
      return true;
    }
    if (json.MemberCount() == 1 && json.HasMember("$date")) {
      if (!json["$date"].IsInt64()) {
        *error = "\"$date\" must be an integer (seconds since 1970)";
        return false;
      }
      *out = Value::Date(json["$date"].GetInt64());
      return true;
    }
    *out = Value::Dict();
    for (const auto& member : json.GetObject()) {
      Value converted;
      if (!ValueFromJson(member.value, &converted, error)) return false;
      out->Set(std::string(member.name.GetString(), member.name.GetStringLength()), std::move(converted));
    }
  } else {
    *error = "null is not a property-list value";
    return false;
  }
  return true;
}

void WriteValueJson(const Value& value, JsonWriter& writer) {
  switch (value.type()) {
    case Value::Type::kString:
      writer.String(value.text().data(), static_cast<rapidjson::SizeType>(value.text().size()));
      break;
    case Value::Type::kBool:
      writer.Bool(value.flag());
      break;
    case Value::Type::kInteger:
      writer.Int64(value.integer());
      break;
    case Value::Type::kReal:
      writer.Double(value.real());
      break;
    case Value::Type::kData:
      writer.StartObject();
      writer.Key("$data");
      writer.String(Base64Encode(value.text()).c_str());
      writer.EndObject();
      break;
    case Value::Type::kDate:
      writer.StartObject();
      writer.Key("$date");
      writer.Int64(value.integer());
      writer.EndObject();
      break;
    case Value::Type::kArray:
      writer.StartArray();
      for (const Value& item : value.items()) WriteValueJson(item, writer);
      writer.EndArray();
      break;
    case Value::Type::kDict:
      writer.StartObject();
      for (const auto& [key, member] : value.members()) {
        writer.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
        WriteValueJson(member, writer);
      }
      writer.EndObject();
      break;
  }
}

}  // namespace devicesim
