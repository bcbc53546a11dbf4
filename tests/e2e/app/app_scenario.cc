#include "app_scenario.h"

namespace e2e {

std::vector<hostlink::Report> CommandRun::WithMember(const char* name) const {
  std::vector<hostlink::Report> found;
  for (const hostlink::Report& report : reports) {
    if (report.has_info && ParseObject(report.info).HasMember(name)) found.push_back(report);
  }
  return found;
}

AppScenario::AppScenario() : phone_(kPhoneUdid) {
  phone_.SetDeviceName("Test Phone").SetProductVersion("16.4.1");
}

bool AppScenario::Start() {
  if (!corvane_.AddDevice("phone", phone_) || !corvane_.StartWithDevices()) return false;
  if (!corvane_.WaitForDeviceReady(kPhoneUdid)) {
    ADD_FAILURE() << "the phone did not become ready";
    return false;
  }
  return true;
}

CommandRun AppScenario::Command(uint32_t type, const std::string& arguments, const std::string& uuid,
                                std::chrono::milliseconds timeout) {
  uint64_t task = ++next_task_;
  CommandRun run;
  run.final_report = corvane_.Run(task, type, "{\"uuid\":\"" + uuid + "\"}", arguments, timeout);
  run.reports = corvane_.TakeReportsOf(task);
  if (!run.final_report) ADD_FAILURE() << "no final report for type " << type;
  return run;
}

rapidjson::Document ParseObject(const std::string& text) {
  rapidjson::Document doc;
  doc.Parse(text.data(), text.size());
  EXPECT_TRUE(!doc.HasParseError() && doc.IsObject()) << text;
  if (doc.HasParseError()) doc.SetObject();
  return doc;
}

std::string JsonQuoted(const std::string& text) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  return std::string(buffer.GetString(), buffer.GetSize());
}

std::string TextMember(const std::string& json, const char* name) {
  rapidjson::Document doc = ParseObject(json);
  if (!doc.IsObject() || !doc.HasMember(name) || !doc[name].IsString()) return std::string();
  return doc[name].GetString();
}

}  // namespace e2e
