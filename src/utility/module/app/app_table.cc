#include "utility/module/app/app_table.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "iOSAPI/plist_message.h"

namespace {

constexpr const char* kBundleMembers[] = {"ApplicationType",            "CFBundleIdentifier", "CFBundleDisplayName",
                                          "CFBundleName",               "CFBundleShortVersionString",
                                          "CFBundleVersion",            "Path"};

struct MetadataMember {
  const char* member;
  const char* source;
};
constexpr MetadataMember kMetadataMembers[] = {
    {"CFBundleIdentifier", "softwareVersionBundleId"},
    {"CFBundleShortVersionString", "bundleShortVersionString"},
    {"CFBundleVersion", "bundleVersion"},
    {"CFBundleDisplayName", "bundleDisplayName"},
    {"releaseDate", "releaseDate"},
    {"artistName", "artistName"},
    {"itemName", "itemName"},
    {"softwareIcon57x57URL", "softwareIcon57x57URL"},
};
constexpr const char* kDownloadInfo = "com.apple.iTunesStore.downloadInfo";

// The text form of a metadata value, or nothing for kinds that have none.
std::optional<std::string> TextOf(const PlistValue* value) {
  if (value == nullptr) return std::nullopt;
  if (value->IsString() || value->IsDate()) return value->Text();
  if (value->IsInteger()) return std::to_string(value->AsInt64());
  return std::nullopt;
}

std::optional<std::string> AppleIdOf(const PlistValue& metadata) {
  if (auto id = TextOf(metadata.Find("appleId"))) return id;
  const PlistValue* download = metadata.FindDict(kDownloadInfo);
  for (const PlistValue* holder : {&metadata, download}) {
    if (holder == nullptr) continue;
    if (const PlistValue* account = holder->FindDict("accountInfo")) {
      if (auto id = TextOf(account->Find("AppleID"))) return id;
    }
  }
  return std::nullopt;
}

}  // namespace

void AppObject::SetText(const std::string& name, std::string value) {
  if (!Has(name)) members_.emplace_back(name, std::move(value));
}

void AppObject::SetInteger(const std::string& name, int64_t value) {
  if (!Has(name)) members_.emplace_back(name, value);
}

bool AppObject::Has(std::string_view name) const {
  for (const auto& member : members_) {
    if (member.first == name) return true;
  }
  return false;
}

std::optional<std::string> AppObject::Text(std::string_view name) const {
  for (const auto& [member, value] : members_) {
    if (member == name && std::holds_alternative<std::string>(value)) return std::get<std::string>(value);
  }
  return std::nullopt;
}

std::string AppObject::ToJson() const {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  for (const auto& [name, value] : members_) {
    writer.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
    if (const auto* text = std::get_if<std::string>(&value)) {
      writer.String(text->data(), static_cast<rapidjson::SizeType>(text->size()));
    } else {
      writer.Int64(std::get<int64_t>(value));
    }
  }
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

void AddBundleMembers(const PlistValue& bundle, AppObject* app) {
  for (const char* name : kBundleMembers) {
    if (auto text = bundle.FindString(name)) app->SetText(name, *text);
  }
}

void AddStoreMetadata(const PlistValue& metadata, AppObject* app) {
  if (!metadata.IsDict()) return;
  for (const MetadataMember& mapped : kMetadataMembers) {
    if (auto text = TextOf(metadata.Find(mapped.source))) app->SetText(mapped.member, *text);
  }
  if (auto apple_id = AppleIdOf(metadata)) app->SetText("AppleID", *apple_id);
  if (const PlistValue* download = metadata.FindDict(kDownloadInfo)) {
    if (auto date = TextOf(download->Find("purchaseDate"))) app->SetText("purchaseDate", *date);
  }
}

bool AddStoreMetadataBytes(std::string_view bytes, AppObject* app) {
  PlistValue metadata;
  if (bytes.empty() || !ParseMessage(bytes.data(), bytes.size(), &metadata) || !metadata.IsDict()) return false;
  AddStoreMetadata(metadata, app);
  return true;
}

AppObject* AppTable::Find(const std::string& bundle_id) {
  auto it = index_.find(bundle_id);
  return it == index_.end() ? nullptr : &apps_[it->second];
}

void AppTable::AddListed(const PlistValue& entry) {
  auto bundle_id = entry.FindString("CFBundleIdentifier");
  if (!bundle_id) return;
  AppObject* app = Find(*bundle_id);
  if (app == nullptr) {
    index_.emplace(*bundle_id, apps_.size());
    app = &apps_.emplace_back();
  }
  AddBundleMembers(entry, app);
  // The metadata arrives as property-list data; a device that sends it as a dictionary is read the same way.
  if (const PlistValue* metadata = entry.Find("iTunesMetadata")) {
    if (metadata->IsData()) {
      AddStoreMetadataBytes(metadata->Bytes(), app);
    } else {
      AddStoreMetadata(*metadata, app);
    }
  }
}

void AppTable::AddSizes(const PlistValue& entry) {
  auto bundle_id = entry.FindString("CFBundleIdentifier");
  AppObject* app = bundle_id ? Find(*bundle_id) : nullptr;
  if (app == nullptr) return;
  if (auto dynamic = entry.FindInteger("DynamicDiskUsage")) app->SetInteger("data-size", *dynamic);
  if (auto fixed = entry.FindInteger("StaticDiskUsage")) app->SetInteger("app-size", *fixed);
}
