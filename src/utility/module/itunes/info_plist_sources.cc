// Reading Info.plist's sources from the device. Every source is optional: a device that does not answer one
// of them still gets its backup, with that part of Info.plist left out.
#include <glog/logging.h>

#include "iOSAPI/plist_message.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_device_values.h"
#include "utility/module/itunes/info_plist.h"

namespace {

constexpr const char* kInstallationProxy = "com.apple.mobile.installation_proxy";
constexpr const char* kSpringboard = "com.apple.springboardservices";

std::string Message(const PlistValue& body) {
  return SerializePlist(body, PlistFormat::kBinary).value_or(std::string());
}

std::vector<BackupAppEntry> ReadApps(const ZEBDeviceConnection& device) {
  std::vector<BackupAppEntry> apps;
  int error = 0;
  ZEBDeviceServicePtr proxy = StartService(device, kInstallationProxy, &error);
  if (!proxy) return apps;
  PlistValue::Array attributes = {PlistValue::String("CFBundleIdentifier"), PlistValue::String("ApplicationSINF"),
                                  PlistValue::String("iTunesMetadata")};
  PlistValue browse = PlistValue::MakeDict(
      {{"Command", PlistValue::String("Browse")},
       {"ClientOptions", PlistValue::MakeDict({{"ApplicationType", PlistValue::String("User")},
                                               {"ReturnAttributes", PlistValue::MakeArray(attributes)}})}});
  SendAndReceive(*proxy, Message(browse), [&apps](std::string_view bytes) {
    PlistValue answer;
    if (!ParseMessage(bytes.data(), bytes.size(), &answer) || answer.Find("Error") != nullptr) return false;
    if (const PlistValue* list = answer.FindArray("CurrentList")) {
      for (const PlistValue& entry : list->array()) {
        std::optional<std::string> id = entry.FindString("CFBundleIdentifier");
        if (!id) continue;
        BackupAppEntry app;
        app.bundle_id = *id;
        if (const PlistValue* sinf = entry.Find("ApplicationSINF")) app.sinf = *sinf;
        if (const PlistValue* metadata = entry.Find("iTunesMetadata")) app.metadata = *metadata;
        apps.push_back(std::move(app));
      }
    }
    return answer.FindString("Status") != std::optional<std::string>("Complete");
  });
  return apps;
}

void ReadIcons(const ZEBDeviceConnection& device, std::vector<BackupAppEntry>* apps) {
  if (apps->empty()) return;
  int error = 0;
  ZEBDeviceServicePtr springboard = StartService(device, kSpringboard, &error);
  if (!springboard) return;
  for (BackupAppEntry& app : *apps) {
    PlistValue request = PlistValue::MakeDict(
        {{"command", PlistValue::String("getIconPNGData")}, {"bundleId", PlistValue::String(app.bundle_id)}});
    bool answered = SendAndReceive(*springboard, Message(request), [&app](std::string_view bytes) {
      PlistValue answer;
      if (ParseMessage(bytes.data(), bytes.size(), &answer)) {
        const PlistValue* png = answer.Find("pngData");
        if (png != nullptr && png->IsData()) app.icon_png = png->Bytes();
      }
      return false;  // one answer per icon
    });
    if (!answered) break;
  }
}

}  // namespace

InfoPlistSources CollectInfoPlistSources(const ZEBDeviceConnection& device, const ZEBDeviceService* afc) {
  InfoPlistSources sources;
  sources.value = [&device](const char* key) { return CopyValue(device, key); };
  sources.apps = ReadApps(device);
  ReadIcons(device, &sources.apps);
  if (afc != nullptr) {
    for (const char* name : kITunesFileNames) {
      std::string content;
      if (DownloadFileToMemory(*afc, std::string("/iTunes_Control/iTunes/") + name, &content)) {
        sources.itunes_files.emplace_back(name, std::move(content));
      }
    }
    std::string books;
    if (DownloadFileToMemory(*afc, "/Books/iBooksData2.plist", &books)) sources.ibooks_data = std::move(books);
  }
  return sources;
}
