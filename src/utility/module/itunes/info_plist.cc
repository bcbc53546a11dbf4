#include "utility/module/itunes/info_plist.h"

#include <ctime>
#include <fstream>
#include <random>

#include "iOSAPI/plist_message.h"
#include "platform/platform.h"

const char* const kITunesFileNames[12] = {
    "ApertureAlbumPrefs", "IC-Info.sidb",      "IC-Info.sidv",         "PhotosFolderAlbums",
    "PhotosFolderName",   "PhotosFolderPrefs", "VoiceMemos.plist",     "iPhotoAlbumPrefs",
    "iTunesApplicationIDs", "iTunesPrefs",     "iTunesPrefs.plist",    "Ringtones.plist"};

namespace {

constexpr int64_t kSecondsFrom1970To2001 = 978307200;

std::string DateText(int64_t seconds_since_1970) {
  std::time_t time = static_cast<std::time_t>(seconds_since_1970);
  std::tm utc{};
  char text[32] = "2001-01-01T00:00:00Z";
  if (gmtime_r(&time, &utc) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace

std::string BackupGuid(uint32_t seed) {
  static constexpr char kDigits[] = "ABCDEF0123456789";
  std::minstd_rand generator(seed);
  std::string guid;
  for (int i = 0; i < 32; ++i) guid += kDigits[generator() % 16];
  return guid;
}

PlistValue BuildInfoPlist(const InfoPlistSources& sources) {
  PlistValue::Dict info;
  auto copy = [&](const char* key, const char* device_key) {
    std::optional<PlistValue> value = sources.value ? sources.value(device_key) : std::nullopt;
    if (value) info[key] = *value;
  };
  PlistValue::Dict apps;
  PlistValue::Array installed;
  for (const BackupAppEntry& app : sources.apps) {
    PlistValue::Dict entry;
    if (app.sinf) entry["ApplicationSINF"] = *app.sinf;
    if (app.metadata) entry["iTunesMetadata"] = *app.metadata;
    if (!app.icon_png.empty()) entry["PlaceholderIcon"] = PlistValue::Data(app.icon_png);
    apps[app.bundle_id] = PlistValue::MakeDict(std::move(entry));
    installed.push_back(PlistValue::String(app.bundle_id));
  }
  info["Applications"] = PlistValue::MakeDict(std::move(apps));
  copy("Build Version", "BuildVersion");
  copy("Device Name", "DeviceName");
  copy("Display Name", "DeviceName");
  info["GUID"] = PlistValue::String(BackupGuid(static_cast<uint32_t>(sources.now)));
  copy("ICCID", "IntegratedCircuitCardIdentity");
  copy("IMEI", "InternationalMobileEquipmentIdentity");
  info["Installed Applications"] = PlistValue::MakeArray(std::move(installed));
  info["Last Backup Date"] = PlistValue::Date(DateText(sources.now < kSecondsFrom1970To2001 ? kSecondsFrom1970To2001
                                                                                              : sources.now));
  copy("MEID", "MobileEquipmentIdentifier");
  copy("Phone Number", "PhoneNumber");
  copy("Product Type", "ProductType");
  copy("Product Version", "ProductVersion");
  copy("Serial Number", "SerialNumber");
  copy("Target Identifier", "UniqueDeviceID");
  copy("Unique Identifier", "UniqueDeviceID");
  info["Target Type"] = PlistValue::String("Device");
  if (sources.ibooks_data) info["iBooks Data 2"] = PlistValue::Data(*sources.ibooks_data);
  PlistValue::Dict files;
  for (const auto& [name, content] : sources.itunes_files) files[name] = PlistValue::Data(content);
  info["iTunes Files"] = PlistValue::MakeDict(std::move(files));
  info["iTunes Settings"] = PlistValue::MakeDict();
  info["iTunes Version"] = PlistValue::String("11.2.2.3");
  return PlistValue::MakeDict(std::move(info));
}

bool WriteInfoPlist(const PlistValue& info, const std::string& folder) {
  std::optional<std::string> bytes = SerializePlist(info, PlistFormat::kBinary);
  if (!bytes) return false;
  std::string target = folder + "Info.plist";
  std::string temporary = platform::CreateTemporaryBeside(target);
  if (temporary.empty()) return false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    if (!out.flush()) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (platform::ReplaceFile(temporary, target)) return true;
  std::remove(temporary.c_str());
  return false;
}
