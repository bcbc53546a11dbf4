#include "command_json.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace corvane_host {
namespace {

bool ParseObject(std::string_view json, rapidjson::Document* doc) {
  doc->Parse(json.data(), json.size());
  return !doc->HasParseError() && doc->IsObject();
}

}  // namespace

std::optional<std::string> StringMember(std::string_view json, const char* key) {
  rapidjson::Document doc;
  if (!ParseObject(json, &doc)) return std::nullopt;
  auto it = doc.FindMember(key);
  if (it == doc.MemberEnd() || !it->value.IsString()) return std::nullopt;
  return std::string(it->value.GetString(), it->value.GetStringLength());
}

std::string WithStringMember(std::string_view json, const char* key, std::string_view value) {
  rapidjson::Document doc;
  if (!ParseObject(json, &doc) || doc.HasMember(key)) return std::string(json);
  auto& alloc = doc.GetAllocator();
  doc.AddMember(rapidjson::Value(key, alloc),
                rapidjson::Value(value.data(), static_cast<rapidjson::SizeType>(value.size()), alloc), alloc);
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  doc.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace corvane_host
