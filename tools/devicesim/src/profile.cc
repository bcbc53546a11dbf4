#include "profile.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "plist_util.h"
#include "value_json.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

constexpr struct {
  FaultKind kind;
  const char* name;
} kFaultNames[] = {
    {FaultKind::kNone, "none"},         {FaultKind::kDropAfterBytes, "drop_after_bytes"},
    {FaultKind::kStall, "stall"},       {FaultKind::kMalformed, "malformed"},
    {FaultKind::kOversized, "oversized"}, {FaultKind::kRefuse, "refuse"},
    {FaultKind::kEmptyMessage, "empty_message"}, {FaultKind::kDelayEachRequest, "delay_each_request"},
};

bool ReadDict(const Value& document, const char* key, Value* out, std::string* error) {
  const Value* section = document.Find(key);
  if (!section) return true;
  if (!section->is_dict()) {
    *error = std::string("\"") + key + "\" must be an object";
    return false;
  }
  *out = *section;
  return true;
}

bool ReadAfcStorage(const Value& document, Profile* profile, std::string* error) {
  const Value* storage = document.Find("afc_storage");
  if (!storage) return true;
  const Value* free_bytes = storage->is_dict() ? storage->Find("free_bytes") : nullptr;
  if (!free_bytes || free_bytes->type() != Value::Type::kInteger || free_bytes->integer() < 0) {
    *error = "\"afc_storage\" must be {\"free_bytes\": N} with N at least 0";
    return false;
  }
  profile->afc_free_bytes = free_bytes->integer();
  return true;
}

bool ReadFlag(const Value& document, const char* key, bool* out, std::string* error) {
  const Value* item = document.Find(key);
  if (!item) return true;
  if (item->type() != Value::Type::kBool) {
    *error = std::string("\"") + key + "\" must be true or false";
    return false;
  }
  *out = item->flag();
  return true;
}

bool ReadNames(const Value& document, const char* key, std::set<std::string>* out, std::string* error) {
  const Value* list = document.Find(key);
  if (!list) return true;
  if (list->type() != Value::Type::kArray) {
    *error = std::string("\"") + key + "\" must be an array of service names";
    return false;
  }
  for (const Value& item : list->items()) {
    if (item.type() != Value::Type::kString) {
      *error = std::string("\"") + key + "\" must be an array of service names";
      return false;
    }
    out->insert(item.text());
  }
  return true;
}

bool ReadApp(const Value& entry, AppRecord* app, std::string* error) {
  if (!entry.is_dict()) {
    *error = "each application must be an object";
    return false;
  }
  app->attributes = entry;
  const Value* id = entry.Find("CFBundleIdentifier");
  if (!id || id->type() != Value::Type::kString || id->text().empty()) {
    *error = "an application lacks its \"CFBundleIdentifier\"";
    return false;
  }
  app->bundle_id = id->text();
  if (const Value* color = entry.Find("icon_color"); color && color->type() == Value::Type::kString) {
    app->icon_color = color->text();
  }
  app->attributes.Remove("icon_color");
  // Store metadata is written readably in device.json but travels as the plist bytes a device keeps.
  if (Value* meta = app->attributes.Find("iTunesMetadata"); meta && meta->is_dict()) {
    PlistPtr node(ToPlist(*meta));
    *meta = Value::Data(ToBinary(node.get()));
  }
  return true;
}

bool ReadFaults(const Value& document, Profile* profile, std::string* error) {
  const Value* faults = document.Find("faults");
  if (!faults) return true;
  if (!faults->is_dict()) {
    *error = "\"faults\" must be an object";
    return false;
  }
  if (const Value* count = faults->Find("refuse_connects")) {
    if (count->type() != Value::Type::kInteger) {
      *error = "\"refuse_connects\" must be an integer";
      return false;
    }
    profile->refuse_connects = static_cast<int>(count->integer());
  }
  if (const Value* folder = faults->Find("hostile_listing"); folder && folder->type() == Value::Type::kString) {
    profile->hostile_folder = folder->text();
  }
  if (const Value* backup = faults->Find("backup")) {
    const Value* kind = backup->Find("kind");
    if (!kind || kind->type() != Value::Type::kString ||
        !ParseBackupFaultKind(kind->text(), &profile->backup_fault.kind)) {
      *error = "the backup fault has no valid \"kind\"";
      return false;
    }
    if (const Value* after = backup->Find("after_files")) {
      profile->backup_fault.after_files = static_cast<int>(after->integer());
    }
  }
  if (const Value* services = faults->Find("services"); services && services->is_dict()) {
    for (const auto& [service, spec] : services->members()) {
      ServiceFault fault;
      const Value* kind = spec.Find("kind");
      if (!kind || kind->type() != Value::Type::kString || !ParseFaultKind(kind->text(), &fault.kind)) {
        *error = "fault for \"" + service + "\" has no valid \"kind\"";
        return false;
      }
      if (const Value* bytes = spec.Find("bytes")) fault.bytes = static_cast<uint64_t>(bytes->integer());
      if (const Value* delay = spec.Find("delay_us")) fault.delay_us = static_cast<uint64_t>(delay->integer());
      if (const Value* times = spec.Find("times")) fault.times = static_cast<int>(times->integer());
      profile->faults[service] = fault;
    }
  }
  return true;
}

}  // namespace

std::string Profile::udid() const {
  const Value* id = values.Find("UniqueDeviceID");
  return id ? id->text() : std::string();
}

const char* FaultKindName(FaultKind kind) {
  for (const auto& entry : kFaultNames) {
    if (entry.kind == kind) return entry.name;
  }
  return "none";
}

bool ParseFaultKind(const std::string& text, FaultKind* kind) {
  for (const auto& entry : kFaultNames) {
    if (text == entry.name) {
      *kind = entry.kind;
      return true;
    }
  }
  return false;
}

bool ProfileFromDocument(const Value& document, Profile* profile, std::string* error) {
  if (!document.is_dict()) {
    *error = "device.json must hold an object";
    return false;
  }
  if (!ReadDict(document, "values", &profile->values, error)) return false;
  const Value* udid = profile->values.Find("UniqueDeviceID");
  if (!udid || udid->type() != Value::Type::kString || udid->text().empty()) {
    *error = "\"values\" must hold the string \"UniqueDeviceID\"";
    return false;
  }
  if (!ReadDict(document, "domains", &profile->domains, error)) return false;
  for (const auto& [domain, values] : profile->domains.members()) {
    if (!values.is_dict()) {
      *error = "domain \"" + domain + "\" must be an object";
      return false;
    }
  }
  if (const Value* trust = document.Find("trust")) {
    if (trust->type() != Value::Type::kString || !ParseTrustState(trust->text(), &profile->trust)) {
      *error = "\"trust\" must be \"trusted\", \"pending\" or \"denied\"";
      return false;
    }
  }
  if (!ReadFlag(document, "passcode_locked", &profile->passcode_locked, error)) return false;
  if (!ReadFlag(document, "jailbroken", &profile->jailbroken, error)) return false;
  if (!ReadDict(document, "afc_device_info", &profile->afc_device_info, error)) return false;
  if (!ReadAfcStorage(document, profile, error)) return false;
  if (!ReadDict(document, "diagnostics", &profile->diagnostics, error)) return false;
  if (!ReadDict(document, "asset_metrics", &profile->asset_metrics, error)) return false;
  if (const Value* first = document.Find("atc_first_message"); first && first->type() == Value::Type::kString) {
    profile->atc_first_message = first->text();
  }
  if (const Value* apps = document.Find("applications")) {
    if (apps->type() != Value::Type::kArray) {
      *error = "\"applications\" must be an array";
      return false;
    }
    for (const Value& entry : apps->items()) {
      AppRecord app;
      if (!ReadApp(entry, &app, error)) return false;
      profile->apps.push_back(std::move(app));
    }
  }
  if (!ReadNames(document, "disabled_services", &profile->disabled_services, error)) return false;
  if (!ReadNames(document, "extra_services", &profile->extra_services, error)) return false;
  if (!SyncSettingsFromDocument(document, &profile->sync, error)) return false;
  return ReadFaults(document, profile, error);
}

bool LoadProfile(const std::string& folder, Profile* profile, std::string* error) {
  std::error_code ec;
  fs::path root = fs::absolute(folder, ec);
  std::ifstream in(root / "device.json", std::ios::binary);
  if (!in) {
    *error = "cannot read " + (root / "device.json").string();
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  rapidjson::Document json;
  json.Parse(text.str().c_str());
  if (json.HasParseError()) {
    *error = (root / "device.json").string() + ": " + rapidjson::GetParseError_En(json.GetParseError()) +
             " at offset " + std::to_string(json.GetErrorOffset());
    return false;
  }
  Value document;
  if (!ValueFromJson(json, &document, error)) {
    *error = (root / "device.json").string() + ": " + *error;
    return false;
  }
  *profile = Profile();
  std::string path = root.lexically_normal().string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  profile->folder = path;
  profile->name = fs::path(path).filename().string();
  fs::create_directories(root / "afc", ec);
  profile->afc_root = fs::canonical(root / "afc", ec).string();
  if (ec) {
    *error = "cannot open " + (root / "afc").string() + ": " + ec.message();
    return false;
  }
  profile->backup_root = path + "/backup";
  profile->restored_root = path + "/restored";
  if (!ProfileFromDocument(document, profile, error)) {
    *error = (root / "device.json").string() + ": " + *error;
    return false;
  }
  return LoadSyncRecords(path, &profile->sync, error);
}

}  // namespace devicesim
