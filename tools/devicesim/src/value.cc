#include "devicesim/value.h"

namespace devicesim {

Value Value::Data(std::string bytes) {
  Value value(std::move(bytes));
  value.type_ = Type::kData;
  return value;
}

Value Value::Date(int64_t unix_seconds) {
  Value value;
  value.type_ = Type::kDate;
  value.integer_ = unix_seconds;
  return value;
}

Value Value::Array(std::vector<Value> items) {
  Value value;
  value.type_ = Type::kArray;
  value.items_ = std::move(items);
  return value;
}

Value Value::Dict() {
  Value value;
  value.type_ = Type::kDict;
  return value;
}

Value& Value::Set(const std::string& key, Value value) {
  if (type_ != Type::kDict) *this = Dict();
  for (auto& member : members_) {
    if (member.first == key) {
      member.second = std::move(value);
      return member.second;
    }
  }
  members_.emplace_back(key, std::move(value));
  return members_.back().second;
}

const Value* Value::Find(const std::string& key) const {
  if (type_ != Type::kDict) return nullptr;
  for (const auto& member : members_) {
    if (member.first == key) return &member.second;
  }
  return nullptr;
}

Value* Value::Find(const std::string& key) {
  return const_cast<Value*>(static_cast<const Value*>(this)->Find(key));
}

bool Value::Remove(const std::string& key) {
  for (auto it = members_.begin(); it != members_.end(); ++it) {
    if (it->first == key) {
      members_.erase(it);
      return true;
    }
  }
  return false;
}

Value& Value::Append(Value value) {
  if (type_ != Type::kArray) *this = Array();
  items_.push_back(std::move(value));
  return items_.back();
}

bool Value::operator==(const Value& other) const {
  if (type_ != other.type_) return false;
  switch (type_) {
    case Type::kString:
    case Type::kData:
      return text_ == other.text_;
    case Type::kBool:
      return flag_ == other.flag_;
    case Type::kInteger:
    case Type::kDate:
      return integer_ == other.integer_;
    case Type::kReal:
      return real_ == other.real_;
    case Type::kArray:
      return items_ == other.items_;
    case Type::kDict:
      return members_ == other.members_;
  }
  return false;
}

}  // namespace devicesim
