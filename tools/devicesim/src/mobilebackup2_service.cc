// The backup service ("com.apple.mobilebackup2"): the device-link version exchange (300.0, which Debian's client
// accepts), Hello answered with ProtocolVersion 2.1 (or 2.0 when only that is offered), then the computer's
// requests Backup, Restore, Info, List, ChangePassword and EraseDevice until it disconnects.
//
// The AFC lock file /com.apple.itunes.lock_sync is made when the service starts, so a profile's media folder
// stays as written until a backup client comes.
#include <filesystem>
#include <fstream>

#include "backup_session.h"
#include "builtin_services.h"
#include "hub.h"

namespace devicesim {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kVersionMajor = 300;
constexpr uint64_t kVersionMinor = 0;

// The highest protocol version both sides know, 0 when there is none. Versions arrive as reals or integers.
double AgreedVersion(plist_t hello) {
  plist_t offered = plist_dict_get_item(hello, "SupportedProtocolVersions");
  double best = 0;
  for (uint32_t i = 0; offered && plist_get_node_type(offered) == PLIST_ARRAY && i < plist_array_get_size(offered);
       ++i) {
    Value version = FromPlist(plist_array_get_item(offered, i));
    double number = version.type() == Value::Type::kReal      ? version.real()
                    : version.type() == Value::Type::kInteger ? static_cast<double>(version.integer())
                                                              : 0;
    if ((number > 2.05 && number < 2.15) || (number > 1.95 && number < 2.05)) best = std::max(best, number);
  }
  return best > 2.05 ? 2.1 : best > 0 ? 2.0 : 0;
}

bool Hello(BackupComputer& computer, plist_t request) {
  double version = AgreedVersion(request);
  Value body = Value::Dict();
  body.Set("MessageName", "Response");
  if (version == 0) {
    body.Set("ErrorCode", 1);
    body.Set("ErrorDescription", "No supported protocol version (MBErrorDomain/1)");
  } else {
    body.Set("ErrorCode", 0);
    body.Set("ProtocolVersion", version);
  }
  return computer.link().SendProcessMessage(body);
}

// Turns backup encryption on (NewPassword alone), off (OldPassword alone) or changes the password (both).
bool ChangePassword(ServiceContext& context, BackupComputer& computer, plist_t request) {
  Device& device = *context.device;
  std::optional<std::string> old_password = DictString(request, "OldPassword");
  std::optional<std::string> new_password = DictString(request, "NewPassword");
  int64_t code = 0;
  std::string description;
  {
    std::lock_guard<std::mutex> lock(device.mutex);
    Value* domain = device.domains.Find("com.apple.mobile.backup");
    const Value* will = domain ? domain->Find("WillEncrypt") : nullptr;
    bool encrypting = will && will->type() == Value::Type::kBool && will->flag();
    if (!old_password && !new_password) {
      code = 1;
      description = "No password given (MBErrorDomain/1)";
    } else if (!old_password && encrypting) {
      code = 1;
      description = "Backup encryption is already on (MBErrorDomain/1)";
    } else if (old_password && (!encrypting || *old_password != device.backup_password)) {
      code = 207;
      description = "Invalid password (MBErrorDomain/207)";
    } else {
      if (!domain) domain = &device.domains.Set("com.apple.mobile.backup", Value::Dict());
      domain->Set("WillEncrypt", new_password.has_value());
      device.backup_password = new_password.value_or("");
    }
  }
  context.Log("ChangePassword", {{"Result", std::to_string(code)}});
  if (code == 0) device.Post("com.apple.mobile.backup.domain_changed");
  return computer.Finish(code, description);
}

// Wipes the media partition and the backup source, as erasing all content wipes the device.
bool EraseDevice(ServiceContext& context, BackupComputer& computer) {
  const Profile& profile = context.device->profile;
  std::error_code ec;
  for (const std::string& root : {profile.afc_root, profile.backup_root}) {
    for (const fs::directory_entry& entry : fs::directory_iterator(root, ec)) fs::remove_all(entry.path(), ec);
  }
  {
    std::lock_guard<std::mutex> lock(context.device->mutex);
    std::erase_if(context.device->apps, [](const AppRecord& app) {
      const Value* type = app.attributes.Find("ApplicationType");
      return type && type->text() == "User";
    });
  }
  return computer.Finish(0, "");
}

class MobileBackup2Service : public Service {
 public:
  void Serve(ServiceContext& context) override {
    // Backup clients lock this file of the media partition (opened read-write, so it must exist) while they run.
    std::string lock_file = context.device->profile.afc_root + "/com.apple.itunes.lock_sync";
    if (!fs::exists(lock_file)) std::ofstream create(lock_file);
    DeviceLink link(context.stream);
    BackupComputer computer(link);
    if (!link.ExchangeVersions(kVersionMajor, kVersionMinor)) return;
    while (!context.hub.stopping.load()) {
      PlistPtr message;
      std::string kind;
      if (link.Receive(&message, &kind) != LinkRead::kMessage) return;
      if (kind != "DLMessageProcessMessage") return;  // DLMessageDisconnect
      plist_t body = plist_array_get_size(message.get()) > 1 ? plist_array_get_item(message.get(), 1) : nullptr;
      std::string name = DictString(body, "MessageName").value_or("");
      context.Log(name);
      bool keep = true;
      if (name == "Hello") {
        keep = Hello(computer, body);
      } else if (name == "Backup") {
        keep = RunBackup(context, computer, body);
      } else if (name == "Restore") {
        keep = RunRestore(context, computer, body);
      } else if (name == "Info") {
        keep = RunInfo(context, computer, body);
      } else if (name == "List") {
        keep = RunList(context, computer, body);
      } else if (name == "ChangePassword") {
        keep = ChangePassword(context, computer, body);
      } else if (name == "EraseDevice") {
        keep = EraseDevice(context, computer);
      } else {
        keep = computer.Finish(1, "Unsupported request " + name + " (MBErrorDomain/1)");
      }
      if (!keep) return;
    }
  }
};

}  // namespace

std::unique_ptr<Service> MakeMobileBackup2Service() { return std::make_unique<MobileBackup2Service>(); }

}  // namespace devicesim
