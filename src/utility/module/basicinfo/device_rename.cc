// Command 303: gives the device a new name.
#include <rapidjson/document.h>

#include "utility/ios/zeb_device_service.h"
#include "utility/ios/zeb_device_values.h"
#include "utility/command_payload.h"
#include "utility/module/basicinfo/basicinfo_internal.h"
#include "utility/protocol_codes.h"

namespace basicinfo {
namespace {

constexpr int kResultBadName = 8;

}  // namespace

int RenameDevice(const ZEBDeviceConnection& device, std::string_view name_json) {
  // The text runs to the end of the payload; a host that ends it with NUL bytes as well is not refused for that.
  while (!name_json.empty() && name_json.back() == '\0') name_json.remove_suffix(1);
  rapidjson::Document arguments;
  if (!ParseJsonObject(name_json, &arguments)) return kResultBadName;
  auto name = arguments.FindMember("name");
  if (name == arguments.MemberEnd() || !name->value.IsString()) return kResultBadName;

  int error = 0;
  ZEBDeviceServicePtr afc = StartService(device, kServiceAfc, &error, {}, true);
  if (!afc) return protocol::kResultNoFileService;
  return SetValue(device, nullptr, "DeviceName",
                  PlistValue::String(std::string(name->value.GetString(), name->value.GetStringLength())));
}

}  // namespace basicinfo
