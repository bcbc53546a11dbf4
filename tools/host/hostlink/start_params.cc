#include "hostlink/start_params.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <unistd.h>

#include <charconv>

namespace hostlink {
namespace {

struct KeyName {
  const char* short_name;
  const char* full_name;
};

constexpr KeyName kKeys[] = {
    {"port", kParamPort},       {"pid", kParamPid},         {"show_console", kParamShowConsole},
    {"test_self", kParamTestSelf}, {"open_log", kParamOpenLog}, {"version", kParamVersion},
    {"brand", kParamBrand},     {"product", kParamProduct}, {"type", kParamType},
    {"task_id", kParamTaskId},  {"load_modules", kParamLoadModules},
};

bool ParseInteger(std::string_view text, int64_t* out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseModules(std::string_view text, std::vector<std::string>* out, std::string* error) {
  out->clear();
  if (!text.empty() && text.front() == '[') {
    rapidjson::Document doc;
    doc.Parse(text.data(), text.size());
    if (doc.HasParseError() || !doc.IsArray()) {
      *error = "load_modules: not a JSON array";
      return false;
    }
    for (const auto& item : doc.GetArray()) {
      if (!item.IsString()) {
        *error = "load_modules: array holds a non-string";
        return false;
      }
      out->emplace_back(item.GetString(), item.GetStringLength());
    }
    return true;
  }
  while (!text.empty()) {
    size_t comma = text.find(',');
    out->emplace_back(text.substr(0, comma));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return true;
}

}  // namespace

StartParams::StartParams() : pid(getpid()) {}

StartParams StartParams::ForListener(uint16_t listener_port) {
  StartParams params;
  params.port = listener_port;
  return params;
}

std::optional<std::string> StartParams::FullKey(std::string_view key) {
  for (const auto& k : kKeys) {
    if (key == k.short_name || key == k.full_name) return std::string(k.full_name);
  }
  return std::nullopt;
}

bool StartParams::Set(std::string_view key, std::string_view value, std::string* error) {
  std::optional<std::string> full = FullKey(key);
  if (!full) {
    *error = "unknown start parameter \"" + std::string(key) + "\"";
    return false;
  }
  std::map<std::string, int64_t*> integers = {{kParamPort, &port},         {kParamPid, &pid},
                                              {kParamShowConsole, &show_console}, {kParamTestSelf, &test_self},
                                              {kParamOpenLog, &open_log},   {kParamType, &type}};
  std::map<std::string, std::string*> strings = {
      {kParamVersion, &version}, {kParamBrand, &brand}, {kParamProduct, &product}, {kParamTaskId, &task_id}};
  if (auto it = integers.find(*full); it != integers.end()) {
    if (!ParseInteger(value, it->second)) {
      *error = std::string(key) + ": \"" + std::string(value) + "\" is not an integer";
      return false;
    }
  } else if (auto s = strings.find(*full); s != strings.end()) {
    *s->second = value;
  } else if (!ParseModules(value, &load_modules, error)) {
    return false;
  }
  omitted.erase(*full);
  raw.erase(*full);
  return true;
}

std::string StartParams::ToJson() const {
  if (raw_text) return *raw_text;
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  auto member = [&](const char* key, auto write_value) {
    if (omitted.count(key) != 0) return;
    w.Key(key);
    if (auto it = raw.find(key); it != raw.end()) {
      w.RawValue(it->second.c_str(), it->second.size(), rapidjson::kObjectType);
    } else {
      write_value();
    }
  };
  auto text = [&](const std::string& s) { w.String(s.c_str(), static_cast<rapidjson::SizeType>(s.size())); };
  w.StartObject();
  member(kParamPort, [&] { w.Int64(port); });
  member(kParamPid, [&] { w.Int64(pid); });
  member(kParamShowConsole, [&] { w.Int64(show_console); });
  member(kParamTestSelf, [&] { w.Int64(test_self); });
  member(kParamOpenLog, [&] { w.Int64(open_log); });
  member(kParamVersion, [&] { text(version); });
  member(kParamBrand, [&] { text(brand); });
  member(kParamProduct, [&] { text(product); });
  member(kParamType, [&] { w.Int64(type); });
  member(kParamTaskId, [&] { text(task_id); });
  member(kParamLoadModules, [&] {
    w.StartArray();
    for (const auto& folder : load_modules) text(folder);
    w.EndArray();
  });
  // Raw members for keys that are not among the known ones are added at the end.
  for (const auto& [key, value] : raw) {
    if (FullKey(key) == key || omitted.count(key) != 0) continue;
    w.Key(key.c_str(), static_cast<rapidjson::SizeType>(key.size()));
    w.RawValue(value.c_str(), value.size(), rapidjson::kObjectType);
  }
  w.EndObject();
  return buffer.GetString();
}

}  // namespace hostlink
