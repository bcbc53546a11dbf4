// Springboard services ("com.apple.springboardservices"): application icons as generated PNG images.
#include "builtin_services.h"
#include "hub.h"
#include "plist_channel.h"
#include "png_maker.h"

namespace devicesim {
namespace {

class SpringboardService : public Service {
 public:
  void Serve(ServiceContext& context) override {
    while (!context.hub.stopping.load()) {
      PlistPtr request = ReadPlistMessage(context.stream, LengthOrder::kBigEndian);
      if (!request || plist_get_node_type(request.get()) != PLIST_DICT) return;
      std::string command = DictString(request.get(), "command").value_or("");
      std::string bundle_id = DictString(request.get(), "bundleId").value_or("");
      context.Log(command, bundle_id.empty() ? std::map<std::string, std::string>{}
                                             : std::map<std::string, std::string>{{"BundleID", bundle_id}});
      Value answer = Value::Dict();
      if (command == "getIconPNGData") {
        answer.Set("pngData", Value::Data(MakeIconPng(IconColor(*context.device, bundle_id))));
      } else if (command == "getHomeScreenWallpaperPNGData") {
        answer.Set("pngData", Value::Data(MakeIconPng("#1C1C1E", 120)));
      } else if (command == "getInterfaceOrientation") {
        answer.Set("interfaceOrientation", 1);
      } else if (command == "getIconState") {
        answer = Value::Array();
      }
      PlistPtr node(ToPlist(answer));
      if (!WritePlistMessage(context.stream, LengthOrder::kBigEndian, node.get(), PlistFormat::kBinary)) return;
    }
  }

 private:
  // The installed application's colour; an unknown identifier gets the generic grey icon, as SpringBoard
  // answers with a placeholder rather than an error.
  static std::string IconColor(Device& device, const std::string& bundle_id) {
    std::lock_guard<std::mutex> lock(device.mutex);
    for (const AppRecord& app : device.apps) {
      if (app.bundle_id == bundle_id) return app.icon_color;
    }
    return "#8E8E93";
  }
};

}  // namespace

std::unique_ptr<Service> MakeSpringboardService() { return std::make_unique<SpringboardService>(); }

}  // namespace devicesim
