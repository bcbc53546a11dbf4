#include "utility/command_payload.h"

#include <charconv>

CommandPayload SplitCommandPayload(const std::string& payload) {
  CommandPayload parts;
  std::string_view all(payload);
  size_t first = all.find('\0');
  std::string_view marker = all.substr(0, first);
  std::from_chars(marker.data(), marker.data() + marker.size(), parts.marker);
  if (first == std::string_view::npos) return parts;
  std::string_view after = all.substr(first + 1);
  size_t second = after.find('\0');
  parts.json = after.substr(0, second);
  if (second != std::string_view::npos) parts.rest = after.substr(second + 1);
  return parts;
}

bool ParseJsonObject(std::string_view text, rapidjson::Document* doc) {
  doc->Parse(text.data(), text.size());
  return !doc->HasParseError() && doc->IsObject();
}

std::string JsonText(const rapidjson::Value& object, const char* key) {
  if (!object.IsObject()) return std::string();
  auto it = object.FindMember(key);
  if (it == object.MemberEnd() || !it->value.IsString()) return std::string();
  return std::string(it->value.GetString(), it->value.GetStringLength());
}
