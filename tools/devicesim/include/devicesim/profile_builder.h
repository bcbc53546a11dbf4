// Writes a device profile folder (device.json and afc/) from C++, so tests describe the device they need in a
// few lines instead of shipping files. The format it writes is the one documented in tools/devicesim/README.md.
//
//   devicesim::ProfileBuilder phone("00008030-001A2B3C4D5E602E");
//   phone.SetDeviceName("Test Phone").SetProductVersion("16.4").SetTrust(devicesim::TrustState::kPending);
//   phone.AddApp({.bundle_id = "com.example.notes", .display_name = "Notes"});
//   phone.AddFile("DCIM/100APPLE/IMG_0001.JPG", "jpeg bytes");
//   std::string err;
//   phone.Write(dir + "/phone", &err);
//
// A fresh builder already describes a usable, trusted iPhone (name, class, type, version, serial, chip id,
// addresses, battery and storage figures); every value can be replaced or removed.
//
// A builder is a plain object: use one from one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "devicesim/backup_fault.h"
#include "devicesim/faults.h"
#include "devicesim/sync_settings.h"
#include "devicesim/trust_state.h"
#include "devicesim/value.h"

namespace devicesim {

struct AppSpec {
  std::string bundle_id{};
  std::string type = "User";  // "User" or "System"
  std::string display_name{};   // CFBundleDisplayName; left out when empty
  std::string name{};           // CFBundleName; left out when empty
  std::string short_version = "1.0";
  std::string version = "1";
  std::string path{};           // Path; defaults to /private/var/containers/Bundle/Application/<id>/<name>.app
  std::optional<Value> itunes_metadata{};  // a dictionary; served as the binary plist data "iTunesMetadata"
  int64_t dynamic_disk_usage = 0;
  int64_t static_disk_usage = 0;
  std::string icon_color = "#3478F6";  // the colour of the generated icon PNG
  Value extra_attributes = Value::Dict();  // any further attributes, served as given
};

class ProfileBuilder {
 public:
  explicit ProfileBuilder(const std::string& udid);

  // Top-level lockdown values. The named setters are shorthands for Set(key, value).
  ProfileBuilder& Set(const std::string& key, Value value);
  ProfileBuilder& Remove(const std::string& key);
  ProfileBuilder& SetDeviceName(const std::string& v) { return Set("DeviceName", v); }
  ProfileBuilder& SetSerialNumber(const std::string& v) { return Set("SerialNumber", v); }
  ProfileBuilder& SetDeviceClass(const std::string& v) { return Set("DeviceClass", v); }
  ProfileBuilder& SetProductType(const std::string& v) { return Set("ProductType", v); }
  ProfileBuilder& SetProductVersion(const std::string& v) { return Set("ProductVersion", v); }
  ProfileBuilder& SetBuildVersion(const std::string& v) { return Set("BuildVersion", v); }
  ProfileBuilder& SetModelNumber(const std::string& v) { return Set("ModelNumber", v); }
  ProfileBuilder& SetHardwareModel(const std::string& v) { return Set("HardwareModel", v); }
  ProfileBuilder& SetCpuArchitecture(const std::string& v) { return Set("CPUArchitecture", v); }
  ProfileBuilder& SetUniqueChipId(int64_t v) { return Set("UniqueChipID", v); }
  ProfileBuilder& SetWiFiAddress(const std::string& v) { return Set("WiFiAddress", v); }
  ProfileBuilder& SetBluetoothAddress(const std::string& v) { return Set("BluetoothAddress", v); }
  ProfileBuilder& SetPhoneNumber(const std::string& v) { return Set("PhoneNumber", v); }
  ProfileBuilder& SetSimStatus(const std::string& v) { return Set("SIMStatus", v); }
  ProfileBuilder& SetImei(const std::string& v) { return Set("InternationalMobileEquipmentIdentity", v); }

  // A value in a lockdown domain such as "com.apple.disk_usage"; an empty domain is the top level.
  ProfileBuilder& SetDomainValue(const std::string& domain, const std::string& key, Value value);

  ProfileBuilder& SetTrust(TrustState trust);
  ProfileBuilder& SetPasscodeLocked(bool locked);
  // A jailbroken device also offers "com.apple.afc2", served from the same afc/ folder.
  ProfileBuilder& SetJailbroken(bool jailbroken);
  // AFC device information; a negative size means "measure the afc/ folder's file system".
  ProfileBuilder& SetAfcDeviceInfo(const std::string& model, int64_t total_bytes, int64_t free_bytes);

  // A small data partition: the afc/ folder may grow by `free_bytes` (reported as FSFreeBytes unless set above);
  // a write beyond it fails as on a full device, and blocks of zeros are kept as holes in sparse files.
  ProfileBuilder& SetAfcStorage(int64_t free_bytes);

  ProfileBuilder& AddApp(const AppSpec& app);

  // A value of the diagnostics relay's IORegistry entry "IOPMPowerSource" (CycleCount, CurrentCapacity, ...).
  ProfileBuilder& SetBatteryValue(const std::string& key, Value value);
  // One category of the air-traffic AssetMetrics message ("Application", "Photo", ...). `nested` holds
  // dictionaries placed inside the category beside its own figures.
  ProfileBuilder& SetAssetCategory(const std::string& category, int64_t physical_size, int64_t count,
                                   int64_t purgeable_size, Value nested = Value::Dict());
  ProfileBuilder& SetAssetTotals(int64_t physical_size, int64_t free_size);
  // "Ping" or "IdleExit": the air-traffic service sends this message before AssetMetrics; empty: none.
  ProfileBuilder& SetAtcFirstMessage(const std::string& command);

  // Services: DisableService makes StartService answer InvalidService; EnableService offers a service that is
  // not offered by default (such as the raw stream service used by benchmarks).
  ProfileBuilder& DisableService(const std::string& service);
  ProfileBuilder& EnableService(const std::string& service);

  // Faults armed when the profile is loaded (the same as the Simulator calls).
  ProfileBuilder& RefuseConnects(int count);
  ProfileBuilder& SetServiceFault(const std::string& service, const ServiceFault& fault);
  ProfileBuilder& SetHostileListing(const std::string& afc_folder);
  ProfileBuilder& SetBackupFault(const BackupFault& fault);

  // The synchronisation service ("com.apple.mobilesync"). A record is a dictionary of its fields with the entity
  // name ("com.apple.syncservices.RecordEntityName") among them; links to other records are arrays of their
  // identifiers ("contact", "members", "calendar", "owner", "parent"). Records go to sync/<data class>.json.
  ProfileBuilder& AddSyncRecord(const std::string& data_class, const std::string& id, Value record);
  ProfileBuilder& SetSyncBatchSize(int records);
  ProfileBuilder& SetSyncClass(const std::string& data_class, const SyncClassSettings& settings);
  ProfileBuilder& SetSyncFault(const SyncFault& fault);
  // A large address book for benchmarks: `count` contacts (identifiers "1" to count) with about four details
  // each (phone numbers, email and street addresses, some web addresses, related names, messaging accounts
  // and dates), the details numbered after the contacts. The same count always gives the same records.
  ProfileBuilder& AddGeneratedContacts(int count);

  // Content of afc/. Paths are relative to the AFC root; parent folders are made as needed.
  ProfileBuilder& AddFolder(const std::string& path);
  ProfileBuilder& AddFile(const std::string& path, std::string content);
  // A file of `size` bytes that occupies no disk space and reads as zeros.
  ProfileBuilder& AddSparseFile(const std::string& path, uint64_t size);
  // A file of `size` bytes whose byte at offset i is GeneratedByte(seed, i).
  ProfileBuilder& AddGeneratedFile(const std::string& path, uint64_t size, uint32_t seed);
  ProfileBuilder& AddSymlink(const std::string& path, const std::string& target);
  static uint8_t GeneratedByte(uint32_t seed, uint64_t offset);

  // Content of the backup source, backup/<domain>/<path>: what only a backup reaches. `domain` is one folder
  // name such as "HomeDomain" or "AppDomainGroup-group.net.whatsapp.WhatsApp.shared".
  ProfileBuilder& AddBackupFile(const std::string& domain, const std::string& path, std::string content);
  ProfileBuilder& AddBackupSparseFile(const std::string& domain, const std::string& path, uint64_t size);
  ProfileBuilder& AddBackupGeneratedFile(const std::string& domain, const std::string& path, uint64_t size,
                                         uint32_t seed);
  // `count` generated files of `size` bytes each, <folder>/<n>.dat, spread over 100 sub-folders.
  ProfileBuilder& AddBackupTree(const std::string& domain, const std::string& folder, int count, uint64_t size,
                                uint32_t seed);

  // Creates `folder` (and its parents) with device.json and afc/. An existing device.json is replaced; existing
  // files in afc/ are kept unless the builder writes the same path.
  bool Write(const std::string& folder, std::string* error) const;

  // The device.json text this builder writes.
  std::string Json() const;

 private:
  struct Entry {
    enum class Kind { kFolder, kFile, kSparse, kGenerated, kSymlink } kind;
    std::string path;
    std::string content;  // file content or link target
    uint64_t size = 0;
    uint32_t seed = 0;
    std::string area = "afc";  // the profile sub-folder the path is relative to
  };
  Value& Section(const std::string& name);
  bool WriteSyncRecordFiles(const std::string& folder, std::string* error) const;

  Value document_ = Value::Dict();
  std::vector<Entry> entries_;
  std::map<std::string, std::vector<std::pair<std::string, Value>>> sync_records_;  // by data class
};

}  // namespace devicesim
