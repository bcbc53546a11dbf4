// How a device's synchronisation service ("com.apple.mobilesync") behaves, as a profile sets it: per data class
// the answer to a sync request and the sync type it announces, the number of records per batch, and a fault
// that cuts or stalls the connection after a number of messages. The records themselves live in files beside
// device.json (see tools/devicesim/README.md).
//
// Plain data without shared state.
#pragma once

#include <cstdint>
#include <string>

namespace devicesim {

struct SyncClassSettings {
  std::string answer = "accept";  // "accept", "refuse" (SDMessageRefuseToSyncDataClassWithComputer) or "cancel"
  std::string reason{};           // the text sent with a refusal or a cancel; a stock text when empty
  std::string sync_type{};        // "" (slow, or fast when the computer brings the anchor it was last given),
                                  // or forced: "slow", "fast", "reset"
  uint64_t version = 0;           // the data-class version the device announces; 0: the class's usual one
  uint64_t min_computer_version = 0;  // a computer announcing less is refused as out of date
};

struct SyncFault {
  int times = 0;                // connections it applies to; 0: none, -1: every connection
  uint64_t after_messages = 0;  // device messages sent before the cut (the version exchange counts as one)
  bool stall = false;           // false: the connection closes; true: the device stops answering
};

}  // namespace devicesim
