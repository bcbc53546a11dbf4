#include "basic/plugin_util.h"

#include <glog/logging.h>
#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "libbasic/bas_utility_string.h"
#include "platform/platform.h"

namespace bas {
namespace {

constexpr uint32_t kSelfType = 2;

std::string LastComponent(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::vector<std::string> Subfolders(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  *text = content.str();
  return true;
}

std::string StringMember(const rapidjson::Value& object, const char* key) {
  auto it = object.FindMember(key);
  return it != object.MemberEnd() && it->value.IsString() ? it->value.GetString() : std::string();
}

int IntMember(const rapidjson::Value& object, const char* key) {
  auto it = object.FindMember(key);
  return it != object.MemberEnd() && it->value.IsInt() ? it->value.GetInt() : 0;
}

std::vector<std::string> StringList(const rapidjson::Value& object, const char* key) {
  std::vector<std::string> list;
  auto it = object.FindMember(key);
  if (it == object.MemberEnd() || !it->value.IsArray()) return list;
  for (const rapidjson::Value& item : it->value.GetArray()) {
    if (item.IsString()) list.push_back(item.GetString());
  }
  return list;
}

}  // namespace

PluginRegistry& PluginRegistry::Get() {
  static PluginRegistry* registry = new PluginRegistry();  // plug-ins may call it until the process ends
  return *registry;
}

int PluginRegistry::DispatchEntry(BASObserveData* message) { return Get().Dispatch(message); }

uintptr_t PluginRegistry::RegisterSelf(const std::string& name, BASMessageFunc receive,
                                       const std::vector<std::string>& messages) {
  auto handler = std::make_unique<Handler>();
  handler->record.send = &PluginRegistry::DispatchEntry;
  handler->record.receive = receive;
  handler->record.module_id = reinterpret_cast<uintptr_t>(handler.get());
  auto record = std::make_shared<PluginRecord>();
  record->type = kSelfType;
  record->received = messages;
  std::lock_guard<std::mutex> lock(mutex_);
  modules_[name] = record;
  Subscribe(handler.get(), messages);
  uintptr_t id = handler->record.module_id;
  handlers_.push_back(std::move(handler));
  return id;
}

std::vector<std::string> PluginRegistry::OrderVersions(const std::vector<std::string>& folders) {
  std::vector<std::string> order;
  std::string best;
  for (const std::string& folder : folders) {
    std::string version = LastComponent(folder);
    if (order.empty() || BASUtilityString::CompareVersion(version, best) >= 0) {
      order.insert(order.begin(), folder);
      best = version;
    } else {
      order.push_back(folder);
    }
  }
  return order;
}

std::shared_ptr<const PluginRecord> PluginRegistry::LoadPlugin(const std::string& folder) {
  std::string name = LastComponent(folder);
  if (name.empty() || Contains(name)) return nullptr;
  std::string root = WithoutTrailingSlash(folder);
  std::vector<std::string> candidates;
  for (const std::string& sub : Subfolders(root)) {
    if (platform::PathExists(root + "/" + sub + "/plugin.load")) candidates.push_back(root + "/" + sub);
  }
  for (const std::string& version_folder : OrderVersions(candidates)) {
    std::shared_ptr<const PluginRecord> loaded;
    if (TryLoadVersion(name, version_folder, &loaded)) return loaded;
  }
  return nullptr;
}

bool PluginRegistry::TryLoadVersion(const std::string& name, const std::string& version_folder,
                                    std::shared_ptr<const PluginRecord>* loaded) {
  std::string text;
  if (!ReadWholeFile(version_folder + "/plugin.load", &text)) return false;
  rapidjson::Document manifest;
  manifest.Parse(text.c_str(), text.size());
  if (manifest.HasParseError() || !manifest.IsObject()) {
    LOG(ERROR) << "plugin.load of " << version_folder << ": "
               << (manifest.HasParseError() ? rapidjson::GetParseError_En(manifest.GetParseError()) : "not an object");
    return false;
  }
  std::string relative = StringMember(manifest, "path");
  std::replace(relative.begin(), relative.end(), '\\', '/');
  std::string library_path = version_folder + "/" + StringMember(manifest, "x64") + "/" + relative;
  if (!platform::PathExists(library_path)) return false;

  std::string error;
  std::unique_ptr<platform::DynamicLibrary> library = platform::DynamicLibrary::Open(library_path, &error);
  if (!library) {
    LOG(ERROR) << "Load plug-in " << library_path << " failed: " << error;
    return false;
  }
  auto register_module = reinterpret_cast<BASRegisterModuleFunc>(library->Symbol("RegisterModule"));
  if (register_module == nullptr) return false;

  auto record = std::make_shared<PluginRecord>();
  record->type = static_cast<uint32_t>(IntMember(manifest, "type"));
  record->version = StringMember(manifest, "version");
  record->id = StringMember(manifest, "id");
  record->library_path = library_path;
  auto handler = std::make_unique<Handler>();
  handler->record.send = &PluginRegistry::DispatchEntry;
  handler->record.module_id = reinterpret_cast<uintptr_t>(library.get());
  register_module(&handler->record);

  std::vector<std::string> receives = StringList(manifest, "command-recv");
  record->received = receives;
  record->sent = StringList(manifest, "command-send");
  record->required = StringList(manifest, "require");
  record->optional = StringList(manifest, "optional");
  record->width = IntMember(manifest, "width");
  record->height = IntMember(manifest, "height");
  record->create_command = StringMember(manifest, "command-create");

  std::lock_guard<std::mutex> lock(mutex_);
  modules_[name] = record;
  Subscribe(handler.get(), receives);
  handlers_.push_back(std::move(handler));
  libraries_.push_back(std::move(library));
  *loaded = record;
  return true;
}

void PluginRegistry::Subscribe(Handler* handler, const std::vector<std::string>& messages) {
  for (const std::string& message : messages) subscriptions_[message].push_back(handler);
}

bool PluginRegistry::Contains(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return modules_.count(name) != 0;
}

std::shared_ptr<const PluginRecord> PluginRegistry::Find(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = modules_.find(name);
  return it == modules_.end() ? nullptr : it->second;
}

int PluginRegistry::Dispatch(BASObserveData* message) {
  if (message == nullptr || message->sender_id == 0 || message->message_name == nullptr) return 0;
  std::vector<Handler*> subscribers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = subscriptions_.find(message->message_name);
    if (it == subscriptions_.end()) return 0;
    subscribers = it->second;  // handlers live as long as the registry, so pointers stay valid
  }
  int result = 0;
  for (Handler* handler : subscribers) {
    const BASHandlerRecord& record = handler->record;
    if (message->target_id != 0) {
      if (record.module_id != message->target_id) continue;
      if (record.receive != nullptr) result = record.receive(message);
      break;
    }
    if (record.module_id != message->sender_id && record.receive != nullptr) result = record.receive(message);
  }
  return result;
}

}  // namespace bas
