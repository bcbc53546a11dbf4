#include "libbasic/vel_json_util.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace bas {
namespace {

rapidjson::Value Key(std::string_view key, VelJsonUtil::Allocator& a) {
  return rapidjson::Value(key.data(), static_cast<rapidjson::SizeType>(key.size()), a);
}

}  // namespace

void VelJsonUtil::AddMember(rapidjson::Value& object, std::string_view key, int value, Allocator& a) {
  object.AddMember(Key(key, a), rapidjson::Value(value), a);
}

void VelJsonUtil::AddMember(rapidjson::Value& object, std::string_view key, int64_t value, Allocator& a) {
  object.AddMember(Key(key, a), rapidjson::Value(value), a);
}

void VelJsonUtil::AddMember(rapidjson::Value& object, std::string_view key, uint64_t value, Allocator& a) {
  object.AddMember(Key(key, a), rapidjson::Value(value), a);
}

void VelJsonUtil::AddMember(rapidjson::Value& object, std::string_view key, double value, Allocator& a) {
  object.AddMember(Key(key, a), rapidjson::Value(value), a);
}

void VelJsonUtil::AddMember(rapidjson::Value& object, std::string_view key, bool value, Allocator& a) {
  object.AddMember(Key(key, a), rapidjson::Value(value), a);
}

void VelJsonUtil::AddMember(rapidjson::Value& object, std::string_view key, std::string_view value, Allocator& a) {
  object.AddMember(Key(key, a), Key(value, a), a);
}

void VelJsonUtil::AddMember(rapidjson::Value& object, std::string_view key, const char* value, Allocator& a) {
  AddMember(object, key, std::string_view(value == nullptr ? "" : value), a);
}

void VelJsonUtil::AddMember(rapidjson::Value& object, std::string_view key, rapidjson::Value& value, Allocator& a) {
  object.AddMember(Key(key, a), value, a);
}

void VelJsonUtil::PushBack(rapidjson::Value& array, std::string_view value, Allocator& a) {
  array.PushBack(Key(value, a), a);
}

void VelJsonUtil::PushBack(rapidjson::Value& array, rapidjson::Value& value, Allocator& a) { array.PushBack(value, a); }

std::string VelJsonUtil::ToString(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace bas
