#include "devicesim/profile_builder.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "profile.h"
#include "value_json.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

bool WriteWhole(const fs::path& path, const std::string& content, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) {
    *error = "cannot write " + path.string();
    return false;
  }
  return true;
}

bool WriteGenerated(const fs::path& path, uint64_t size, uint32_t seed, std::string* error) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    *error = "cannot write " + path.string();
    return false;
  }
  std::vector<uint8_t> chunk(1 << 20);
  uint64_t offset = 0;
  bool ok = true;
  while (ok && offset < size) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - offset));
    for (size_t i = 0; i < n; ++i) chunk[i] = ProfileBuilder::GeneratedByte(seed, offset + i);
    ok = ::write(fd, chunk.data(), n) == static_cast<ssize_t>(n);
    offset += n;
  }
  ::close(fd);
  if (!ok) *error = "cannot write " + path.string();
  return ok;
}

}  // namespace

ProfileBuilder::ProfileBuilder(const std::string& udid) {
  Value& values = Section("values");
  values.Set("UniqueDeviceID", udid);
  values.Set("DeviceName", "Simulated iPhone");
  values.Set("DeviceClass", "iPhone");
  values.Set("ProductType", "iPhone14,5");
  values.Set("ProductVersion", "16.4");
  values.Set("BuildVersion", "20E247");
  values.Set("SerialNumber", "F2LSIM" + udid.substr(0, std::min<size_t>(6, udid.size())));
  values.Set("UniqueChipID", int64_t{7196157011484718});
  values.Set("ModelNumber", "MLPF3");
  values.Set("HardwareModel", "D17AP");
  values.Set("CPUArchitecture", "arm64e");
  values.Set("WiFiAddress", "a4:c3:f0:12:34:56");
  values.Set("BluetoothAddress", "a4:c3:f0:12:34:57");
  values.Set("ActivationState", "Activated");
  values.Set("PasswordProtected", false);
  SetDomainValue("com.apple.disk_usage", "TotalDiskCapacity", int64_t{128000000000});
  SetDomainValue("com.apple.disk_usage", "TotalSystemCapacity", int64_t{12000000000});
  SetDomainValue("com.apple.disk_usage", "TotalSystemAvailable", int64_t{2000000000});
  SetDomainValue("com.apple.disk_usage", "TotalDataCapacity", int64_t{116000000000});
  SetDomainValue("com.apple.disk_usage", "TotalDataAvailable", int64_t{64000000000});
  SetDomainValue("com.apple.mobile.battery", "BatteryCurrentCapacity", 87);
  SetDomainValue("com.apple.mobile.battery", "BatteryIsCharging", false);
  SetDomainValue("com.apple.mobile.backup", "WillEncrypt", false);
  SetDomainValue("com.apple.iTunes", "MinITunesVersion", "12.5.1");
  SetDomainValue("com.apple.mobile.iTunes", "MinITunesVersion", "12.5.1");
  SetDomainValue("com.apple.mobile.iTunes", "SupportsDownloadedMediaSync", true);
  SetDomainValue("com.apple.international", "Keyboard", "en_US");
  SetDomainValue("com.apple.international", "Language", "en");
  SetDomainValue("com.apple.international", "Locale", "en_US");
  SetBatteryValue("CycleCount", 212);
  SetBatteryValue("CurrentCapacity", 87);
  SetBatteryValue("MaxCapacity", 100);
  SetBatteryValue("DesignCapacity", 3227);
  SetBatteryValue("IsCharging", false);
  SetBatteryValue("ExternalConnected", true);
  SetBatteryValue("FullyCharged", false);
  SetAssetCategory("Application", 734003200, 12, 0);
  SetAssetCategory("Photo", 1073741824, 240, 52428800);
  SetAssetCategory("CameraRoll", 536870912, 120, 0);
  SetAssetCategory("Movie", 2147483648, 3, 0);
  SetAssetCategory("Book", 52428800, 4, 0);
  SetAssetCategory("Music", 419430400, 86, 0);
  SetAssetCategory("Ringtone", 1048576, 2, 0);
  SetAssetTotals(116000000000, 64000000000);
  // Personal data kept on the device only: no account syncs it, and the computer may.
  for (const char* data_class : {"Bookmarks", "Calendars", "Contacts", "Notes"}) {
    Value local = Value::Dict();
    local.Set("AccountNames", Value::Array());
    SetDomainValue("com.apple.mobile.data_sync", data_class, local);
    Value tethered = Value::Dict();
    tethered.Set("DisableTethered", false);
    SetDomainValue("com.apple.mobile.tethered_sync", data_class, tethered);
  }
}

Value& ProfileBuilder::Section(const std::string& name) {
  if (Value* section = document_.Find(name)) return *section;
  return document_.Set(name, Value::Dict());
}

ProfileBuilder& ProfileBuilder::Set(const std::string& key, Value value) {
  Section("values").Set(key, std::move(value));
  return *this;
}

ProfileBuilder& ProfileBuilder::Remove(const std::string& key) {
  Section("values").Remove(key);
  return *this;
}

ProfileBuilder& ProfileBuilder::SetDomainValue(const std::string& domain, const std::string& key, Value value) {
  if (domain.empty()) return Set(key, std::move(value));
  Value& domains = Section("domains");
  Value* section = domains.Find(domain);
  if (!section) section = &domains.Set(domain, Value::Dict());
  section->Set(key, std::move(value));
  return *this;
}

ProfileBuilder& ProfileBuilder::SetTrust(TrustState trust) {
  document_.Set("trust", TrustStateName(trust));
  return *this;
}

ProfileBuilder& ProfileBuilder::SetPasscodeLocked(bool locked) {
  document_.Set("passcode_locked", locked);
  return *this;
}

ProfileBuilder& ProfileBuilder::SetJailbroken(bool jailbroken) {
  document_.Set("jailbroken", jailbroken);
  return *this;
}

ProfileBuilder& ProfileBuilder::SetAfcDeviceInfo(const std::string& model, int64_t total_bytes,
                                                 int64_t free_bytes) {
  Value& info = Section("afc_device_info");
  info.Set("Model", model);
  if (total_bytes >= 0) info.Set("FSTotalBytes", total_bytes);
  if (free_bytes >= 0) info.Set("FSFreeBytes", free_bytes);
  return *this;
}

ProfileBuilder& ProfileBuilder::SetAfcStorage(int64_t free_bytes) {
  Section("afc_storage").Set("free_bytes", free_bytes);
  return *this;
}

ProfileBuilder& ProfileBuilder::AddApp(const AppSpec& app) {
  Value entry = Value::Dict();
  entry.Set("CFBundleIdentifier", app.bundle_id);
  entry.Set("ApplicationType", app.type);
  if (!app.display_name.empty()) entry.Set("CFBundleDisplayName", app.display_name);
  if (!app.name.empty()) entry.Set("CFBundleName", app.name);
  entry.Set("CFBundleShortVersionString", app.short_version);
  entry.Set("CFBundleVersion", app.version);
  std::string bundle_name = app.name.empty() ? app.bundle_id.substr(app.bundle_id.rfind('.') + 1) : app.name;
  entry.Set("CFBundleExecutable", bundle_name);
  entry.Set("Path", app.path.empty()
                        ? "/private/var/containers/Bundle/Application/" + app.bundle_id + "/" + bundle_name + ".app"
                        : app.path);
  if (app.itunes_metadata) entry.Set("iTunesMetadata", *app.itunes_metadata);
  entry.Set("DynamicDiskUsage", app.dynamic_disk_usage);
  entry.Set("StaticDiskUsage", app.static_disk_usage);
  for (const auto& [key, value] : app.extra_attributes.members()) entry.Set(key, value);
  entry.Set("icon_color", app.icon_color);
  Value* apps = document_.Find("applications");
  if (!apps) apps = &document_.Set("applications", Value::Array());
  apps->Append(std::move(entry));
  return *this;
}

ProfileBuilder& ProfileBuilder::SetBatteryValue(const std::string& key, Value value) {
  Value& diagnostics = Section("diagnostics");
  Value* battery = diagnostics.Find("IOPMPowerSource");
  if (!battery) battery = &diagnostics.Set("IOPMPowerSource", Value::Dict());
  battery->Set(key, std::move(value));
  return *this;
}

ProfileBuilder& ProfileBuilder::SetAssetCategory(const std::string& category, int64_t physical_size, int64_t count,
                                                 int64_t purgeable_size, Value nested) {
  Value entry = Value::Dict();
  entry.Set("_PhysicalSize", physical_size);
  entry.Set("_Count", count);
  entry.Set("_PurgeableSize", purgeable_size);
  for (const auto& [key, value] : nested.members()) entry.Set(key, value);
  Section("asset_metrics").Set(category, std::move(entry));
  return *this;
}

ProfileBuilder& ProfileBuilder::SetAssetTotals(int64_t physical_size, int64_t free_size) {
  Value& metrics = Section("asset_metrics");
  metrics.Set("_PhysicalSize", physical_size);
  metrics.Set("_FreeSize", free_size);
  return *this;
}

ProfileBuilder& ProfileBuilder::SetAtcFirstMessage(const std::string& command) {
  document_.Set("atc_first_message", command);
  return *this;
}

ProfileBuilder& ProfileBuilder::DisableService(const std::string& service) {
  Value* list = document_.Find("disabled_services");
  if (!list) list = &document_.Set("disabled_services", Value::Array());
  list->Append(service);
  return *this;
}

ProfileBuilder& ProfileBuilder::EnableService(const std::string& service) {
  Value* list = document_.Find("extra_services");
  if (!list) list = &document_.Set("extra_services", Value::Array());
  list->Append(service);
  return *this;
}

ProfileBuilder& ProfileBuilder::RefuseConnects(int count) {
  Section("faults").Set("refuse_connects", count);
  return *this;
}

ProfileBuilder& ProfileBuilder::SetServiceFault(const std::string& service, const ServiceFault& fault) {
  Value& faults = Section("faults");
  Value* services = faults.Find("services");
  if (!services) services = &faults.Set("services", Value::Dict());
  Value spec = Value::Dict();
  spec.Set("kind", FaultKindName(fault.kind));
  spec.Set("bytes", static_cast<int64_t>(fault.bytes));
  spec.Set("times", fault.times);
  if (fault.delay_us != 0) spec.Set("delay_us", static_cast<int64_t>(fault.delay_us));
  services->Set(service, std::move(spec));
  return *this;
}

ProfileBuilder& ProfileBuilder::SetHostileListing(const std::string& afc_folder) {
  Section("faults").Set("hostile_listing", afc_folder);
  return *this;
}

ProfileBuilder& ProfileBuilder::AddFolder(const std::string& path) {
  entries_.push_back({Entry::Kind::kFolder, path, "", 0, 0});
  return *this;
}

ProfileBuilder& ProfileBuilder::AddFile(const std::string& path, std::string content) {
  entries_.push_back({Entry::Kind::kFile, path, std::move(content), 0, 0});
  return *this;
}

ProfileBuilder& ProfileBuilder::AddSparseFile(const std::string& path, uint64_t size) {
  entries_.push_back({Entry::Kind::kSparse, path, "", size, 0});
  return *this;
}

ProfileBuilder& ProfileBuilder::AddGeneratedFile(const std::string& path, uint64_t size, uint32_t seed) {
  entries_.push_back({Entry::Kind::kGenerated, path, "", size, seed});
  return *this;
}

ProfileBuilder& ProfileBuilder::AddSymlink(const std::string& path, const std::string& target) {
  entries_.push_back({Entry::Kind::kSymlink, path, target, 0, 0});
  return *this;
}

ProfileBuilder& ProfileBuilder::AddBackupFile(const std::string& domain, const std::string& path,
                                              std::string content) {
  entries_.push_back({Entry::Kind::kFile, domain + "/" + path, std::move(content), 0, 0, "backup"});
  return *this;
}

ProfileBuilder& ProfileBuilder::AddBackupSparseFile(const std::string& domain, const std::string& path,
                                                    uint64_t size) {
  entries_.push_back({Entry::Kind::kSparse, domain + "/" + path, "", size, 0, "backup"});
  return *this;
}

ProfileBuilder& ProfileBuilder::AddBackupGeneratedFile(const std::string& domain, const std::string& path,
                                                       uint64_t size, uint32_t seed) {
  entries_.push_back({Entry::Kind::kGenerated, domain + "/" + path, "", size, seed, "backup"});
  return *this;
}

ProfileBuilder& ProfileBuilder::AddBackupTree(const std::string& domain, const std::string& folder, int count,
                                              uint64_t size, uint32_t seed) {
  for (int i = 0; i < count; ++i) {
    std::string path = folder + "/" + std::to_string(i % 100) + "/" + std::to_string(i) + ".dat";
    entries_.push_back({Entry::Kind::kGenerated, domain + "/" + path, "", size, seed + static_cast<uint32_t>(i),
                        "backup"});
  }
  return *this;
}

ProfileBuilder& ProfileBuilder::SetBackupFault(const BackupFault& fault) {
  Value spec = Value::Dict();
  spec.Set("kind", BackupFaultKindName(fault.kind));
  spec.Set("after_files", fault.after_files);
  Section("faults").Set("backup", spec);
  return *this;
}

uint8_t ProfileBuilder::GeneratedByte(uint32_t seed, uint64_t offset) {
  // A cheap mix of seed and offset: neighbouring bytes differ, so a shifted or repeated block shows.
  uint64_t x = (offset + 1) * 0x9E3779B97F4A7C15ull ^ (static_cast<uint64_t>(seed) << 32 | seed);
  x ^= x >> 29;
  return static_cast<uint8_t>(x ^ (x >> 17));
}

std::string ProfileBuilder::Json() const {
  rapidjson::StringBuffer buffer;
  JsonWriter writer(buffer);
  writer.SetIndent(' ', 2);
  WriteValueJson(document_, writer);
  return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

bool ProfileBuilder::Write(const std::string& folder, std::string* error) const {
  std::error_code ec;
  fs::path root(folder);
  fs::path afc = root / "afc";
  fs::create_directories(afc, ec);
  fs::path backup = root / "backup";
  if (ec) {
    *error = "cannot create " + afc.string() + ": " + ec.message();
    return false;
  }
  if (!WriteWhole(root / "device.json", Json(), error)) return false;
  if (!WriteSyncRecordFiles(folder, error)) return false;
  for (const Entry& entry : entries_) {
    const fs::path& area = entry.area == "afc" ? afc : backup;
    fs::path target = area / fs::path(entry.path).relative_path();
    if (target.lexically_normal().string().rfind(area.lexically_normal().string(), 0) != 0) {
      *error = "path leaves " + entry.area + "/: " + entry.path;
      return false;
    }
    fs::create_directories(entry.kind == Entry::Kind::kFolder ? target : target.parent_path(), ec);
    if (ec) {
      *error = "cannot create folder for " + entry.path + ": " + ec.message();
      return false;
    }
    switch (entry.kind) {
      case Entry::Kind::kFolder:
        break;
      case Entry::Kind::kFile:
        if (!WriteWhole(target, entry.content, error)) return false;
        break;
      case Entry::Kind::kSparse:
        if (!WriteWhole(target, "", error)) return false;
        fs::resize_file(target, entry.size, ec);
        if (ec) {
          *error = "cannot size " + target.string() + ": " + ec.message();
          return false;
        }
        break;
      case Entry::Kind::kGenerated:
        if (!WriteGenerated(target, entry.size, entry.seed, error)) return false;
        break;
      case Entry::Kind::kSymlink:
        fs::remove(target, ec);
        fs::create_symlink(entry.content, target, ec);
        if (ec) {
          *error = "cannot link " + target.string() + ": " + ec.message();
          return false;
        }
        break;
    }
  }
  return true;
}

}  // namespace devicesim
