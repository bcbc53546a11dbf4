// Shared set-up of the sync modules' scenario tests: a real Corvane process in a zone eight hours east of UTC,
// one simulated iPhone (built by the test, or the simulator's ready profile), the commands, and the device's
// store read back afterwards through libimobiledevice's own mobilesync client (so a change is judged by what
// the device holds, not by what Corvane answered).
//
// One test thread.
#pragma once

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devicesim/profile_builder.h"
#include "harness/device_harness.h"
#include "mobilesync_client.h"

namespace e2e {

inline constexpr char kSyncPhoneUdid[] = "00008030-001A2B3C4D5E7A01";
inline constexpr char kReadyPhoneUdid[] = "00008110-001A2D3C0E38801E";
inline constexpr char kEntityField[] = "com.apple.syncservices.RecordEntityName";

struct SyncRun {
  std::optional<hostlink::Report> final_report;
  std::vector<hostlink::Report> reports;  // without the final one, in arrival order

  int64_t code() const { return final_report ? final_report->code : -1; }
  // The reports of one packet type and stage.
  std::vector<hostlink::Report> Of(uint32_t type, int stage) const;
};

class SyncScenario : public ::testing::Test {
 protected:
  SyncScenario();

  // Starts the simulator with the built phone (or the ready profile) and Corvane; false with a failure otherwise.
  bool Start();
  bool StartReadyProfile();
  // Sends a command: `params` are JSON members added beside "uuid" (without braces), `data` the data part.
  SyncRun Command(uint32_t type, const std::string& params = "", const std::string& data = "",
                  std::chrono::milliseconds timeout = 90s);
  // Every record of a class as the device now holds it.
  std::unique_ptr<devicesim::SyncedRecords> ReadStore(const char* data_class, uint64_t version);
  size_t CountLog(const devicesim::RequestFilter& filter) { return corvane_.simulator().Log().Count(filter); }

  devicesim::ProfileBuilder phone_;
  DeviceHarness corvane_;
  std::string udid_ = kSyncPhoneUdid;
  uint64_t next_task_ = 100;
};

devicesim::Value SyncRecord(const char* entity, std::initializer_list<std::pair<const char*, devicesim::Value>> fields);
devicesim::Value Links(std::initializer_list<const char*> ids);
rapidjson::Document ParseJson(const std::string& text);
// The text member `name` of a JSON object text ("" when absent).
std::string TextOf(const std::string& json, const char* name);
// `text` as a JSON string literal.
std::string Quoted(const std::string& text);
// An XML property list around `body`.
std::string Plist(const std::string& body);

}  // namespace e2e
