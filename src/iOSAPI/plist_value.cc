#include "iOSAPI/plist_value.h"

#include <openssl/evp.h>


PlistValue PlistValue::String(std::string text) {
  PlistValue value;
  value.kind_ = Kind::kString;
  value.text_ = std::move(text);
  return value;
}

PlistValue PlistValue::Integer(int64_t number) {
  PlistValue value;
  value.kind_ = Kind::kInteger;
  value.integer_ = number;
  return value;
}

PlistValue PlistValue::Real(double number) {
  PlistValue value;
  value.kind_ = Kind::kReal;
  value.real_ = number;
  return value;
}

PlistValue PlistValue::Boolean(bool flag) {
  PlistValue value;
  value.kind_ = Kind::kBoolean;
  value.boolean_ = flag;
  return value;
}

PlistValue PlistValue::Date(std::string iso8601) {
  PlistValue value;
  value.kind_ = Kind::kDate;
  value.text_ = std::move(iso8601);
  return value;
}

PlistValue PlistValue::Data(std::string bytes) {
  PlistValue value;
  value.kind_ = Kind::kData;
  value.text_ = std::move(bytes);
  return value;
}

PlistValue PlistValue::MakeArray(Array items) {
  PlistValue value;
  value.kind_ = Kind::kArray;
  value.array_ = std::move(items);
  return value;
}

PlistValue PlistValue::MakeDict(Dict members) {
  PlistValue value;
  value.kind_ = Kind::kDict;
  value.dict_ = std::move(members);
  return value;
}

std::string PlistValue::Text() const {
  switch (kind_) {
    case Kind::kString:
    case Kind::kDate:
      return text_;
    case Kind::kData:
      return Base64Encode(text_);
    default:
      return std::string();
  }
}

const PlistValue* PlistValue::Find(const std::string& key) const {
  if (kind_ != Kind::kDict) return nullptr;
  auto it = dict_.find(key);
  return it == dict_.end() ? nullptr : &it->second;
}

std::optional<std::string> PlistValue::FindString(const std::string& key) const {
  const PlistValue* value = Find(key);
  if (value == nullptr || !value->IsString()) return std::nullopt;
  return value->text_;
}

std::optional<int64_t> PlistValue::FindInteger(const std::string& key) const {
  const PlistValue* value = Find(key);
  if (value == nullptr || !value->IsInteger()) return std::nullopt;
  return value->integer_;
}

const PlistValue* PlistValue::FindDict(const std::string& key) const {
  const PlistValue* value = Find(key);
  return value != nullptr && value->IsDict() ? value : nullptr;
}

const PlistValue* PlistValue::FindArray(const std::string& key) const {
  const PlistValue* value = Find(key);
  return value != nullptr && value->IsArray() ? value : nullptr;
}

bool PlistValue::operator==(const PlistValue& other) const {
  if (kind_ != other.kind_) return false;
  switch (kind_) {
    case Kind::kString:
    case Kind::kDate:
    case Kind::kData:
      return text_ == other.text_;
    case Kind::kInteger:
      return integer_ == other.integer_;
    case Kind::kReal:
      return real_ == other.real_;
    case Kind::kBoolean:
      return boolean_ == other.boolean_;
    case Kind::kArray:
      return array_ == other.array_;
    case Kind::kDict:
      return dict_ == other.dict_;
  }
  return false;
}

std::string Base64Encode(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                               reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return out;
}
