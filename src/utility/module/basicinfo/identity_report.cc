// The identity object of command 300: lockdown values in the order and kind the host reads them.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "utility/ios/zeb_device_values.h"
#include "utility/module/basicinfo/basicinfo_internal.h"

namespace basicinfo {
namespace {

enum class Kind { kText, kBoolean, kInteger, kIntegerArray };

struct Member {
  const char* key;
  Kind kind;
  const char* domain;  // null: the top level
};

constexpr const char* kBattery = "com.apple.mobile.battery";
constexpr const char* kInternational = "com.apple.international";
constexpr const char* kDiskUsage = "com.apple.disk_usage";

// The host depends on this order.
constexpr Member kMembers[] = {
    {"RegionInfo", Kind::kText, nullptr},
    {"DeviceName", Kind::kText, nullptr},
    {"DeviceClass", Kind::kText, nullptr},
    {"ProductType", Kind::kText, nullptr},
    {"ProductVersion", Kind::kText, nullptr},
    {"SerialNumber", Kind::kText, nullptr},
    {"UniqueDeviceID", Kind::kText, nullptr},
    {"ModelNumber", Kind::kText, nullptr},
    {"BuildVersion", Kind::kText, nullptr},
    {"HardwareModel", Kind::kText, nullptr},
    {"DeviceEnclosureColor", Kind::kText, nullptr},
    {"CPUArchitecture", Kind::kText, nullptr},
    {"WiFiAddress", Kind::kText, nullptr},
    {"BluetoothAddress", Kind::kText, nullptr},
    {"PartitionType", Kind::kText, nullptr},
    {"FirmwareVersion", Kind::kText, nullptr},
    {"ActivationState", Kind::kText, nullptr},
    {"ActivationStateAcknowledged", Kind::kBoolean, nullptr},
    {"BasebandVersion", Kind::kText, nullptr},
    {"BasebandBootloaderVersion", Kind::kText, nullptr},
    {"BasebandChipId", Kind::kInteger, nullptr},
    {"BasebandGoldCertId", Kind::kInteger, nullptr},
    {"IntegratedCircuitCardIdentity", Kind::kText, nullptr},
    {"InternationalMobileEquipmentIdentity", Kind::kText, nullptr},
    {"InternationalMobileSubscriberIdentity", Kind::kText, nullptr},
    {"MLBSerialNumber", Kind::kText, nullptr},
    {"MobileSubscriberCountryCode", Kind::kText, nullptr},
    {"MobileSubscriberNetworkCode", Kind::kText, nullptr},
    {"MobileEquipmentIdentifier", Kind::kText, nullptr},
    {"PasswordProtected", Kind::kBoolean, nullptr},
    {"PhoneNumber", Kind::kText, nullptr},
    {"ProductionSOC", Kind::kBoolean, nullptr},
    {"ProtocolVersion", Kind::kText, nullptr},
    {"SIMStatus", Kind::kText, nullptr},
    {"SupportedDeviceFamilies", Kind::kIntegerArray, nullptr},
    {"TimeIntervalSince1970", Kind::kInteger, nullptr},
    {"TimeZone", Kind::kText, nullptr},
    {"TimeZoneOffsetFromUTC", Kind::kInteger, nullptr},
    {"UniqueChipID", Kind::kInteger, nullptr},
    {"Uses24HourClock", Kind::kBoolean, nullptr},
    {"BatteryIsCharging", Kind::kBoolean, kBattery},
    {"Keyboard", Kind::kText, kInternational},
    {"BatteryCurrentCapacity", Kind::kInteger, kBattery},
    {"TotalDiskCapacity", Kind::kInteger, kDiskUsage},
    {"TotalSystemAvailable", Kind::kInteger, kDiskUsage},
    {"TotalSystemCapacity", Kind::kInteger, kDiskUsage},
};

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

// Writes the member when the value has the expected kind; true when it was written.
bool WriteMember(Writer& writer, const Member& member, const PlistValue& value) {
  switch (member.kind) {
    case Kind::kText: {
      if (!value.IsString()) return false;
      const std::string& text = value.Bytes();
      writer.Key(member.key);
      writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
      return true;
    }
    case Kind::kBoolean:
      if (!value.IsBoolean()) return false;
      writer.Key(member.key);
      writer.Bool(value.AsBool());
      return true;
    case Kind::kInteger: {
      int64_t number = 0;
      if (!ToNumber(value, &number)) return false;
      writer.Key(member.key);
      writer.Int64(number);
      return true;
    }
    case Kind::kIntegerArray:
      if (!value.IsArray()) return false;
      writer.Key(member.key);
      writer.StartArray();
      for (const PlistValue& element : value.array()) {
        int64_t number = 0;
        if (ToNumber(element, &number)) writer.Int64(number);
      }
      writer.EndArray();
      return true;
  }
  return false;
}

}  // namespace

IdentityReport BuildIdentityReport(const ValueReader& read, bool jailbroken) {
  IdentityReport report;
  rapidjson::StringBuffer buffer;
  Writer writer(buffer);
  writer.StartObject();
  for (const Member& member : kMembers) {
    std::optional<PlistValue> value = read(member.domain, member.key);
    if (!value || !WriteMember(writer, member, *value) || member.kind != Kind::kText) continue;
    std::string_view key(member.key);
    if (key == "ProductType") report.product_type = value->Text();
    if (key == "ProductVersion") report.product_version = value->Text();
    if (key == "ModelNumber") report.model_number = value->Text();
  }
  writer.Key("IsJailbreak");
  writer.Bool(jailbroken);
  writer.EndObject();
  report.json.assign(buffer.GetString(), buffer.GetSize());
  return report;
}

}  // namespace basicinfo
