// Air-traffic control ("com.apple.atc"): messages framed by a 4-byte little-endian length. After the computer's
// PowerAssertion the device reports storage by category in "AssetMetrics" (optionally after a "Ping" or
// "IdleExit" the profile asks for; after IdleExit it closes).
#include "builtin_services.h"
#include "hub.h"
#include "plist_channel.h"

namespace devicesim {
namespace {

class AirTrafficService : public Service {
 public:
  void Serve(ServiceContext& context) override {
    bool reported = false;
    while (!context.hub.stopping.load()) {
      PlistPtr message = ReadPlistMessage(context.stream, LengthOrder::kLittleEndian);
      if (!message || plist_get_node_type(message.get()) != PLIST_DICT) return;
      std::string command = DictString(message.get(), "Command").value_or("");
      context.Log(command);
      if (command != "PowerAssertion" || reported) continue;
      reported = true;
      const std::string& first = context.device->profile.atc_first_message;
      if (!first.empty()) {
        if (!Send(context, first, Value::Dict())) return;
        if (first == "IdleExit") return;
      }
      if (!Send(context, "AssetMetrics", context.device->profile.asset_metrics)) return;
    }
  }

  std::string BrokenAnswer(bool oversized) const override {
    if (oversized) return EncodeLength((10u << 20) + 1, LengthOrder::kLittleEndian) + "bplist00";
    static const std::string kGarbage = "not a property list at all";
    return EncodeLength(static_cast<uint32_t>(kGarbage.size()), LengthOrder::kLittleEndian) + kGarbage;
  }

 private:
  static bool Send(ServiceContext& context, const std::string& command, const Value& params) {
    // "Command" goes first: clients name a message by the value of its first key.
    Value message = Value::Dict();
    message.Set("Command", command);
    message.Set("Params", params);
    message.Set("Session", 0);
    PlistPtr node(ToPlist(message));
    return WritePlistMessage(context.stream, LengthOrder::kLittleEndian, node.get(), PlistFormat::kBinary);
  }
};

}  // namespace

std::unique_ptr<Service> MakeAirTrafficService() { return std::make_unique<AirTrafficService>(); }

}  // namespace devicesim
