// The diagnostics relay ("com.apple.mobile.diagnostics_relay"): IORegistry entries from the profile (the battery
// entry IOPMPowerSource, found by EntryName or EntryClass), GasGauge, and the power requests answered as done.
#include "builtin_services.h"
#include "hub.h"
#include "plist_channel.h"

namespace devicesim {
namespace {

class DiagnosticsService : public Service {
 public:
  void Serve(ServiceContext& context) override {
    while (!context.hub.stopping.load()) {
      PlistPtr request = ReadPlistMessage(context.stream, LengthOrder::kBigEndian);
      if (!request || plist_get_node_type(request.get()) != PLIST_DICT) return;
      std::string name = DictString(request.get(), "Request").value_or("");
      std::string entry_name = DictString(request.get(), "EntryName").value_or("");
      std::string entry_class = DictString(request.get(), "EntryClass").value_or("");
      std::map<std::string, std::string> args;
      if (!entry_name.empty()) args["EntryName"] = entry_name;
      if (!entry_class.empty()) args["EntryClass"] = entry_class;
      context.Log(name, args);

      Value answer = Value::Dict();
      const Value& entries = context.device->profile.diagnostics;
      if (name == "IORegistry") {
        const Value* entry = entries.Find(entry_name.empty() ? entry_class : entry_name);
        if (entry) {
          Value diagnostics = Value::Dict();
          diagnostics.Set("IORegistry", *entry);
          answer.Set("Diagnostics", std::move(diagnostics));
          answer.Set("Status", "Success");
        } else {
          answer.Set("Status", "Failure");
        }
      } else if (name == "GasGauge") {
        Value diagnostics = Value::Dict();
        const Value* battery = entries.Find("IOPMPowerSource");
        diagnostics.Set("GasGauge", battery ? *battery : Value::Dict());
        answer.Set("Diagnostics", std::move(diagnostics));
        answer.Set("Status", "Success");
      } else if (name == "Goodbye" || name == "Sleep" || name == "Restart" || name == "Shutdown") {
        answer.Set("Status", "Success");
      } else {
        answer.Set("Status", "UnknownRequest");
      }
      PlistPtr node(ToPlist(answer));
      if (!WritePlistMessage(context.stream, LengthOrder::kBigEndian, node.get(), PlistFormat::kXml)) return;
      if (name == "Goodbye") return;
    }
  }
};

}  // namespace

std::unique_ptr<Service> MakeDiagnosticsService() { return std::make_unique<DiagnosticsService>(); }

}  // namespace devicesim
