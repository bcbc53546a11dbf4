#include "sync_scenario.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdlib>

namespace e2e {

std::vector<hostlink::Report> SyncRun::Of(uint32_t type, int stage) const {
  std::vector<hostlink::Report> found;
  for (const hostlink::Report& report : reports) {
    if (report.packet_type == type && report.stage == stage) found.push_back(report);
  }
  return found;
}

SyncScenario::SyncScenario() : phone_(kSyncPhoneUdid) {
  phone_.SetDeviceName("Sync Phone").SetProductVersion("16.4.1");
  corvane_.options().env.push_back({"TZ", "XST-8"});
}

bool SyncScenario::Start() {
  if (!corvane_.AddDevice("phone", phone_) || !corvane_.StartWithDevices()) return false;
  // The store reader in this process reaches the same simulated usbmuxd.
  setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + corvane_.temp_dir() + "/usbmuxd.sock").c_str(), 1);
  if (!corvane_.WaitForDeviceReady(udid_)) {
    ADD_FAILURE() << "the phone did not become ready";
    return false;
  }
  return true;
}

bool SyncScenario::StartReadyProfile() {
  std::string error;
  udid_ = kReadyPhoneUdid;
  if (!corvane_.simulator().AddProfile(CORVANE_READY_PROFILE, true, &error)) {
    ADD_FAILURE() << error;
    return false;
  }
  if (!corvane_.StartWithDevices()) return false;
  setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + corvane_.temp_dir() + "/usbmuxd.sock").c_str(), 1);
  if (!corvane_.WaitForDeviceReady(udid_)) {
    ADD_FAILURE() << "the ready phone did not become ready";
    return false;
  }
  return true;
}

SyncRun SyncScenario::Command(uint32_t type, const std::string& params, const std::string& data,
                              std::chrono::milliseconds timeout) {
  uint64_t task = ++next_task_;
  std::string json = "{\"uuid\":\"" + udid_ + "\"" + (params.empty() ? "" : "," + params) + "}";
  SyncRun run;
  run.final_report = corvane_.Run(task, type, json, data, timeout);
  run.reports = corvane_.TakeReportsOf(task);
  if (!run.final_report) ADD_FAILURE() << "no final report for type " << type;
  return run;
}

std::unique_ptr<devicesim::SyncedRecords> SyncScenario::ReadStore(const char* data_class, uint64_t version) {
  auto records = std::make_unique<devicesim::SyncedRecords>();
  devicesim::MobileSyncClient client(udid_);
  EXPECT_EQ(client.Start(data_class, version), MOBILESYNC_E_SUCCESS);
  EXPECT_EQ(client.ReadAll(records.get()), MOBILESYNC_E_SUCCESS);
  EXPECT_EQ(client.Finish(), MOBILESYNC_E_SUCCESS);
  return records;
}

devicesim::Value SyncRecord(const char* entity,
                            std::initializer_list<std::pair<const char*, devicesim::Value>> fields) {
  devicesim::Value record = devicesim::Value::Dict();
  record.Set(kEntityField, entity);
  for (const auto& [key, value] : fields) record.Set(key, value);
  return record;
}

devicesim::Value Links(std::initializer_list<const char*> ids) {
  std::vector<devicesim::Value> items;
  for (const char* id : ids) items.emplace_back(id);
  return devicesim::Value::Array(std::move(items));
}

rapidjson::Document ParseJson(const std::string& text) {
  rapidjson::Document doc;
  doc.Parse(text.data(), text.size());
  EXPECT_FALSE(doc.HasParseError()) << text;
  return doc;
}

std::string TextOf(const std::string& json, const char* name) {
  rapidjson::Document doc = ParseJson(json);
  if (!doc.IsObject() || !doc.HasMember(name) || !doc[name].IsString()) return std::string();
  return doc[name].GetString();
}

std::string Quoted(const std::string& text) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string Plist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"><plist version=\"1.0\">" +
         body + "</plist>";
}

}  // namespace e2e
