// The installation proxy ("com.apple.mobile.installation_proxy"): lists, installs, upgrades, uninstalls and
// archives applications. The installed set lives in the Device and lasts for the run; packages are read from the
// AFC partition with minizip.
#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include "afc_paths.h"
#include "builtin_services.h"
#include "hub.h"
#include "ipa_reader.h"
#include "plist_channel.h"

namespace devicesim {
namespace {

constexpr size_t kBrowseBatch = 10;

constexpr struct {
  int64_t percent;
  const char* status;
} kInstallSteps[] = {
    {5, "CreatingStagingDirectory"}, {15, "ExtractingPackage"},       {20, "InspectingPackage"},
    {30, "PreflightingApplication"}, {40, "VerifyingApplication"},    {50, "CreatingContainer"},
    {60, "InstallingApplication"},   {70, "PostflightingApplication"}, {80, "SandboxingApplication"},
    {90, "GeneratingApplicationMap"},
};

std::string IconColorFor(const std::string& bundle_id) {
  size_t hash = std::hash<std::string>{}(bundle_id);
  char text[8];
  std::snprintf(text, sizeof(text), "#%02X%02X%02X", static_cast<unsigned>(hash & 0xFF),
                static_cast<unsigned>((hash >> 8) & 0xFF), static_cast<unsigned>((hash >> 16) & 0xFF));
  return text;
}

class InstallationProxyService : public Service {
 public:
  void Serve(ServiceContext& context) override {
    context_ = &context;
    while (!context.hub.stopping.load()) {
      PlistPtr request = ReadPlistMessage(context.stream, LengthOrder::kBigEndian);
      if (!request || plist_get_node_type(request.get()) != PLIST_DICT) return;
      if (!Handle(request.get())) return;
    }
  }

 private:
  bool Send(const Value& message) {
    PlistPtr node(ToPlist(message));
    return WritePlistMessage(context_->stream, LengthOrder::kBigEndian, node.get(), PlistFormat::kBinary);
  }

  bool SendStatus(const char* status) {
    Value message = Value::Dict();
    message.Set("Status", status);
    return Send(message);
  }

  bool SendError(const std::string& error, const std::string& description) {
    Value message = Value::Dict();
    message.Set("Error", error);
    message.Set("ErrorDescription", description);
    return Send(message);
  }

  bool Handle(plist_t request) {
    std::string command = DictString(request, "Command").value_or("");
    plist_t options_node = plist_dict_get_item(request, "ClientOptions");
    Value options = options_node ? FromPlist(options_node) : Value::Dict();
    std::string app_id = DictString(request, "ApplicationIdentifier").value_or("");
    std::string package = DictString(request, "PackagePath").value_or("");
    std::map<std::string, std::string> args;
    if (!app_id.empty()) args["ApplicationIdentifier"] = app_id;
    if (!package.empty()) args["PackagePath"] = package;
    if (const Value* type = options.Find("ApplicationType")) args["ApplicationType"] = type->text();
    context_->Log(command, args);

    if (command == "Browse") return Browse(options);
    if (command == "Lookup") return Lookup(options);
    if (command == "Install" || command == "Upgrade") return Install(package, options);
    if (command == "Uninstall") return Uninstall(app_id);
    if (command == "Archive") return Archive(app_id, options);
    if (command == "Restore") return Restore(app_id);
    if (command == "RemoveArchive") return RemoveArchive(app_id);
    if (command == "LookupArchives") return LookupArchives();
    return SendError("UnknownCommand", "Unknown command " + command);
  }

  // The applications of the requested type with only the requested attributes.
  std::vector<Value> Select(const Value& options) const {
    std::string type = options.Find("ApplicationType") ? options.Find("ApplicationType")->text() : "Any";
    const Value* wanted = options.Find("ReturnAttributes");
    const Value* ids = options.Find("BundleIDs");
    std::vector<Value> selected;
    std::lock_guard<std::mutex> lock(context_->device->mutex);
    for (const AppRecord& app : context_->device->apps) {
      const Value* app_type = app.attributes.Find("ApplicationType");
      if (type != "Any" && (!app_type || app_type->text() != type)) continue;
      if (ids && ids->type() == Value::Type::kArray &&
          std::find(ids->items().begin(), ids->items().end(), Value(app.bundle_id)) == ids->items().end()) {
        continue;
      }
      if (!wanted || wanted->type() != Value::Type::kArray) {
        selected.push_back(app.attributes);
        continue;
      }
      Value subset = Value::Dict();
      for (const Value& key : wanted->items()) {
        if (const Value* attribute = app.attributes.Find(key.text())) subset.Set(key.text(), *attribute);
      }
      selected.push_back(std::move(subset));
    }
    return selected;
  }

  bool Browse(const Value& options) {
    std::vector<Value> apps = Select(options);
    for (size_t start = 0; start < apps.size(); start += kBrowseBatch) {
      size_t end = std::min(apps.size(), start + kBrowseBatch);
      Value batch = Value::Dict();
      batch.Set("CurrentAmount", static_cast<int64_t>(end - start));
      batch.Set("CurrentIndex", static_cast<int64_t>(start));
      batch.Set("CurrentList", Value::Array(std::vector<Value>(apps.begin() + start, apps.begin() + end)));
      batch.Set("Status", "BrowsingApplications");
      batch.Set("Total", static_cast<int64_t>(apps.size()));
      if (!Send(batch)) return false;
    }
    return SendStatus("Complete");
  }

  bool Lookup(const Value& options) {
    Value result = Value::Dict();
    for (Value& app : Select(options)) {
      const Value* id = app.Find("CFBundleIdentifier");
      std::string key = id ? id->text() : std::to_string(result.members().size());
      result.Set(key, std::move(app));
    }
    Value message = Value::Dict();
    message.Set("LookupResult", std::move(result));
    message.Set("Status", "Complete");
    return Send(message);
  }

  bool Install(const std::string& package, const Value& options) {
    std::string host;
    if (package.empty() || ResolveAfcPath(context_->device->profile.afc_root, package, true, &host) != 0) {
      return SendError("PackageInspectionFailed", "Package path is missing or not allowed: " + package);
    }
    IpaContents contents;
    std::string reason;
    struct stat info;
    if (::stat(host.c_str(), &info) != 0) return SendError("PackageInspectionFailed", "No package at " + package);
    if (!ReadIpa(host, &contents, &reason)) {
      return SendError("PackageInspectionFailed", "Failed to inspect " + package + ": " + reason);
    }
    for (const auto& step : kInstallSteps) {
      if (!Progress(step.percent, step.status)) return false;
    }
    AppRecord app = RecordFor(contents, options);
    {
      std::lock_guard<std::mutex> lock(context_->device->mutex);
      auto& apps = context_->device->apps;
      auto it = std::find_if(apps.begin(), apps.end(), [&](const AppRecord& a) { return a.bundle_id == app.bundle_id; });
      if (it != apps.end()) {
        *it = std::move(app);
      } else {
        apps.push_back(std::move(app));
      }
    }
    if (!SendStatus("Complete")) return false;
    context_->device->Post("com.apple.mobile.application_installed");
    return true;
  }

  static AppRecord RecordFor(const IpaContents& contents, const Value& options) {
    AppRecord app;
    app.bundle_id = contents.bundle_id;
    app.icon_color = IconColorFor(contents.bundle_id);
    Value& a = app.attributes;
    a.Set("CFBundleIdentifier", contents.bundle_id);
    a.Set("ApplicationType", "User");
    for (const char* key : {"CFBundleDisplayName", "CFBundleName", "CFBundleShortVersionString", "CFBundleVersion",
                            "CFBundleExecutable"}) {
      if (const Value* value = contents.info.Find(key)) a.Set(key, *value);
    }
    a.Set("Path", "/private/var/containers/Bundle/Application/" + contents.bundle_id + "/" + contents.app_folder);
    if (!contents.itunes_metadata.empty()) {
      a.Set("iTunesMetadata", Value::Data(contents.itunes_metadata));
    } else if (const Value* meta = options.Find("iTunesMetadata"); meta && meta->type() == Value::Type::kData) {
      a.Set("iTunesMetadata", *meta);
    }
    if (const Value* sinf = options.Find("ApplicationSINF")) a.Set("ApplicationSINF", *sinf);
    a.Set("DynamicDiskUsage", int64_t{0});
    a.Set("StaticDiskUsage", static_cast<int64_t>(contents.unpacked_size));
    return app;
  }

  // Removes the application and hands it back; false when it is not installed.
  bool TakeApp(const std::string& app_id, AppRecord* taken, bool remove) {
    std::lock_guard<std::mutex> lock(context_->device->mutex);
    auto& apps = context_->device->apps;
    auto it = std::find_if(apps.begin(), apps.end(), [&](const AppRecord& a) { return a.bundle_id == app_id; });
    if (it == apps.end()) return false;
    *taken = *it;
    if (remove) apps.erase(it);
    return true;
  }

  bool NotInstalled(const std::string& app_id) {
    return SendError("LookupFailed", "No application with bundle identifier " + app_id + " is installed");
  }

  bool Progress(int64_t percent, const char* status) {
    Value progress = Value::Dict();
    progress.Set("PercentComplete", percent);
    progress.Set("Status", status);
    return Send(progress);
  }

  bool Uninstall(const std::string& app_id) {
    AppRecord app;
    if (!TakeApp(app_id, &app, true)) return NotInstalled(app_id);
    if (!Progress(50, "RemovingApplication") || !SendStatus("Complete")) return false;
    context_->device->Post("com.apple.mobile.application_uninstalled");
    return true;
  }

  bool Archive(const std::string& app_id, const Value& options) {
    const Value* skip = options.Find("SkipUninstall");
    bool uninstall = !(skip && skip->type() == Value::Type::kBool && skip->flag());
    AppRecord app;
    if (!TakeApp(app_id, &app, uninstall)) return NotInstalled(app_id);
    {
      std::lock_guard<std::mutex> lock(context_->device->mutex);
      context_->device->archives[app_id] = app;
    }
    if (!Progress(50, "ArchivingApplication") || !SendStatus("Complete")) return false;
    if (uninstall) context_->device->Post("com.apple.mobile.application_uninstalled");
    return true;
  }

  bool Restore(const std::string& app_id) {
    bool archived = false;
    {
      std::lock_guard<std::mutex> lock(context_->device->mutex);
      Device& device = *context_->device;
      auto entry = device.archives.find(app_id);
      if (entry != device.archives.end()) {
        archived = true;
        auto installed = std::find_if(device.apps.begin(), device.apps.end(),
                                      [&](const AppRecord& a) { return a.bundle_id == app_id; });
        if (installed == device.apps.end()) device.apps.push_back(entry->second);
      }
    }
    if (!archived) return SendError("LookupFailed", "No archive of " + app_id);
    if (!Progress(50, "RestoringApplication") || !SendStatus("Complete")) return false;
    context_->device->Post("com.apple.mobile.application_installed");
    return true;
  }

  bool RemoveArchive(const std::string& app_id) {
    size_t removed = 0;
    {
      std::lock_guard<std::mutex> lock(context_->device->mutex);
      removed = context_->device->archives.erase(app_id);
    }
    if (removed == 0) return SendError("LookupFailed", "No archive of " + app_id);
    return SendStatus("Complete");
  }

  bool LookupArchives() {
    Value result = Value::Dict();
    {
      std::lock_guard<std::mutex> lock(context_->device->mutex);
      for (const auto& [id, app] : context_->device->archives) result.Set(id, app.attributes);
    }
    Value message = Value::Dict();
    message.Set("LookupResult", std::move(result));
    message.Set("Status", "Complete");
    return Send(message);
  }

  ServiceContext* context_ = nullptr;
};

}  // namespace

std::unique_ptr<Service> MakeInstallationProxyService() { return std::make_unique<InstallationProxyService>(); }

}  // namespace devicesim
