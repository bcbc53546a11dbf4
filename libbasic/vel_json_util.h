// VelJsonUtil: building JSON objects whose members keep their insertion order, written compactly.
//
// RapidJSON keeps members in insertion order, so a report built member by member comes out in exactly that order.
// Keys and string values are copied into the document's allocator.
//
// Thread safety: a document is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <rapidjson/document.h>

namespace bas {

class VelJsonUtil {
 public:
  using Allocator = rapidjson::Document::AllocatorType;

  static void AddMember(rapidjson::Value& object, std::string_view key, int value, Allocator& a);
  static void AddMember(rapidjson::Value& object, std::string_view key, int64_t value, Allocator& a);
  static void AddMember(rapidjson::Value& object, std::string_view key, uint64_t value, Allocator& a);
  static void AddMember(rapidjson::Value& object, std::string_view key, double value, Allocator& a);
  static void AddMember(rapidjson::Value& object, std::string_view key, bool value, Allocator& a);
  static void AddMember(rapidjson::Value& object, std::string_view key, std::string_view value, Allocator& a);
  static void AddMember(rapidjson::Value& object, std::string_view key, const char* value, Allocator& a);
  // Moves `value` (an object or array) into the member; `value` is left null.
  static void AddMember(rapidjson::Value& object, std::string_view key, rapidjson::Value& value, Allocator& a);

  static void PushBack(rapidjson::Value& array, std::string_view value, Allocator& a);
  static void PushBack(rapidjson::Value& array, rapidjson::Value& value, Allocator& a);

  // Compact text, members in insertion order.
  static std::string ToString(const rapidjson::Value& value);
};

}  // namespace bas
