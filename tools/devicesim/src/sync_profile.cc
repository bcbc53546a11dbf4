#include "sync_profile.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sync_classes.h"
#include "value_json.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

bool ReadText(const Value& section, const char* key, std::string* out, std::string* error) {
  const Value* item = section.Find(key);
  if (!item) return true;
  if (item->type() != Value::Type::kString) {
    *error = std::string("\"") + key + "\" must be a string";
    return false;
  }
  *out = item->text();
  return true;
}

bool ReadCount(const Value& section, const char* key, int64_t minimum, int64_t* out, std::string* error) {
  const Value* item = section.Find(key);
  if (!item) return true;
  if (item->type() != Value::Type::kInteger || item->integer() < minimum) {
    *error = std::string("\"") + key + "\" must be an integer of at least " + std::to_string(minimum);
    return false;
  }
  *out = item->integer();
  return true;
}

bool ReadClassSettings(const std::string& name, const Value& spec, SyncClassSettings* settings,
                       std::string* error) {
  if (!spec.is_dict()) {
    *error = "sync class \"" + name + "\" must be an object";
    return false;
  }
  int64_t version = 0, minimum = 0;
  if (!ReadText(spec, "answer", &settings->answer, error) || !ReadText(spec, "reason", &settings->reason, error) ||
      !ReadText(spec, "sync_type", &settings->sync_type, error) ||
      !ReadCount(spec, "version", 0, &version, error) ||
      !ReadCount(spec, "min_computer_version", 0, &minimum, error)) {
    return false;
  }
  settings->version = static_cast<uint64_t>(version);
  settings->min_computer_version = static_cast<uint64_t>(minimum);
  if (settings->answer != "accept" && settings->answer != "refuse" && settings->answer != "cancel") {
    *error = "sync class \"" + name + "\": \"answer\" must be \"accept\", \"refuse\" or \"cancel\"";
    return false;
  }
  const std::string& type = settings->sync_type;
  if (!type.empty() && type != "slow" && type != "fast" && type != "reset") {
    *error = "sync class \"" + name + "\": \"sync_type\" must be \"slow\", \"fast\" or \"reset\"";
    return false;
  }
  return true;
}

bool ReadFault(const Value& spec, SyncFault* fault, std::string* error) {
  if (!spec.is_dict()) {
    *error = "sync \"fault\" must be an object";
    return false;
  }
  std::string kind = "drop";
  int64_t after = 0, times = -1;
  if (!ReadText(spec, "kind", &kind, error) || !ReadCount(spec, "after_messages", 0, &after, error) ||
      !ReadCount(spec, "times", -1, &times, error)) {
    return false;
  }
  if (kind != "drop" && kind != "stall") {
    *error = "sync fault \"kind\" must be \"drop\" or \"stall\"";
    return false;
  }
  fault->stall = kind == "stall";
  fault->after_messages = static_cast<uint64_t>(after);
  fault->times = static_cast<int>(times);
  return true;
}

bool LoadClassFile(const fs::path& path, std::vector<SyncRecord>* records, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path.string();
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  rapidjson::Document json;
  json.Parse(text.str().c_str());
  if (json.HasParseError()) {
    *error = path.string() + ": " + rapidjson::GetParseError_En(json.GetParseError()) + " at offset " +
             std::to_string(json.GetErrorOffset());
    return false;
  }
  if (!json.IsObject()) {
    *error = path.string() + ": must hold an object of record identifier -> record";
    return false;
  }
  records->reserve(json.MemberCount());
  for (const auto& member : json.GetObject()) {
    std::string id(member.name.GetString(), member.name.GetStringLength());
    Value fields;
    if (!ValueFromJson(member.value, &fields, error)) {
      *error = path.string() + ": record \"" + id + "\": " + *error;
      return false;
    }
    const Value* entity = fields.Find(kEntityNameKey);
    if (!fields.is_dict() || !entity || entity->type() != Value::Type::kString) {
      *error = path.string() + ": record \"" + id + "\" must be an object naming its \"" + kEntityNameKey + "\"";
      return false;
    }
    records->push_back({std::move(id), std::make_shared<const Value>(std::move(fields))});
  }
  return true;
}

}  // namespace

bool SyncSettingsFromDocument(const Value& document, SyncProfile* sync, std::string* error) {
  const Value* section = document.Find("sync");
  if (!section) return true;
  if (!section->is_dict()) {
    *error = "\"sync\" must be an object";
    return false;
  }
  int64_t batch = sync->batch_size;
  if (!ReadCount(*section, "batch_size", 1, &batch, error)) return false;
  sync->batch_size = static_cast<int>(batch);
  if (const Value* classes = section->Find("classes")) {
    if (!classes->is_dict()) {
      *error = "sync \"classes\" must be an object";
      return false;
    }
    for (const auto& [name, spec] : classes->members()) {
      if (!ReadClassSettings(name, spec, &sync->classes[name], error)) return false;
    }
  }
  if (const Value* fault = section->Find("fault")) return ReadFault(*fault, &sync->fault, error);
  return true;
}

Value SyncClassSettingsToDocument(const SyncClassSettings& settings) {
  Value spec = Value::Dict();
  spec.Set("answer", settings.answer);
  if (!settings.reason.empty()) spec.Set("reason", settings.reason);
  if (!settings.sync_type.empty()) spec.Set("sync_type", settings.sync_type);
  if (settings.version) spec.Set("version", settings.version);
  if (settings.min_computer_version) spec.Set("min_computer_version", settings.min_computer_version);
  return spec;
}

Value SyncFaultToDocument(const SyncFault& fault) {
  Value spec = Value::Dict();
  spec.Set("kind", fault.stall ? "stall" : "drop");
  spec.Set("after_messages", fault.after_messages);
  spec.Set("times", fault.times);
  return spec;
}

bool LoadSyncRecords(const std::string& folder, SyncProfile* sync, std::string* error) {
  for (const SyncClassInfo& info : SyncClasses()) {
    fs::path path = fs::path(folder) / "sync" / (std::string(info.name) + ".json");
    std::error_code ec;
    if (!fs::exists(path, ec)) continue;
    if (!LoadClassFile(path, &sync->records[info.name], error)) return false;
  }
  return true;
}

bool WriteSyncRecords(const std::string& path, const std::vector<std::pair<std::string, Value>>& records,
                      std::string* error) {
  rapidjson::StringBuffer buffer;
  JsonWriter writer(buffer);
  writer.SetIndent(' ', 1);
  writer.StartObject();
  for (const auto& [id, fields] : records) {
    writer.Key(id.c_str(), static_cast<rapidjson::SizeType>(id.size()));
    WriteValueJson(fields, writer);
  }
  writer.EndObject();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(buffer.GetString(), static_cast<std::streamsize>(buffer.GetSize()));
  out.put('\n');
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace devicesim
