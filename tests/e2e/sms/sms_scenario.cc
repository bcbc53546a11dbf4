#include "sms/sms_scenario.h"

#include <rapidjson/document.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>

#include "utility/module/sms/sms_document.h"
#include "support/sms/sms_test_support.h"

namespace e2e {

void SmsScenario::SetUp() {
  setenv("TZ", kSmsTimeZone, 1);  // for the expected date texts computed in this process
  tzset();
  corvane_.options().env.push_back({"TZ", kSmsTimeZone});
  ASSERT_TRUE(corvane_.Start());
  ASSERT_TRUE(corvane_.WaitForType(19));
}

std::string SmsScenario::Command(const std::string& path) {
  return R"({"uuid":"00008030-001A2B3C4D5E6F70","info":{"sms_db_path":")" + path + R"("}})";
}

std::vector<hostlink::Report> SmsScenario::RunQuery(uint64_t task, const std::string& path) {
  std::vector<hostlink::Report> reports;
  auto final_report = corvane_.Run(task, kSmsQuery, Command(path), {}, 120s);
  if (!final_report) return reports;
  reports = corvane_.TakeReportsOf(task);
  reports.push_back(*final_report);
  return reports;
}

std::vector<std::string> SmsScenario::Texts(const std::vector<hostlink::Report>& reports) {
  std::vector<std::string> texts;
  std::string count_info;
  for (const hostlink::Report& report : reports) {
    if (report.is_final()) break;
    EXPECT_TRUE(report.ok()) << report.error;
    EXPECT_EQ(report.packet_type, kSmsQuery);
    EXPECT_EQ(report.header_code, 2);
    EXPECT_EQ(report.code, 0);
    EXPECT_EQ(report.uuid, "");  // no device of that identifier is connected
    EXPECT_EQ(report.type, 0);
    if (report.stage == 1) {
      EXPECT_TRUE(report.data.empty());
      count_info = report.info;
      rapidjson::Document info;
      info.Parse(report.info.c_str());
      texts.push_back("count " + std::to_string(info.IsObject() && info.HasMember("Count") ? info["Count"].GetInt() : -1));
      continue;
    }
    EXPECT_EQ(report.info, count_info);
    EXPECT_TRUE(report.data_was_compressed);
    EXPECT_TRUE(report.stage == 2 || report.stage == 3) << report.stage;
    texts.push_back((report.stage == 2 ? "conversation " : "message ") + report.data);
  }
  return texts;
}

std::vector<std::string> SmsScenario::Expected(const std::string& path) {
  rapidjson::Document document;
  document.SetObject();
  document.AddMember("path", rapidjson::Value(path.c_str(), document.GetAllocator()), document.GetAllocator());
  if (QuerySmsDocument(&document) != 0) return {"count 0"};
  return sms_test::ReportsFromDocument(document);
}

std::string SmsScenario::Folder(const std::string& name) const {
  std::string folder = corvane_.temp_dir() + "/" + name;
  std::filesystem::create_directories(folder);
  return folder;
}

}  // namespace e2e
