#include "media/media_scenario.h"

#include <rapidjson/document.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace e2e {

namespace fs = std::filesystem;

std::vector<uint32_t> Listing::TypeOrder() const {
  std::vector<uint32_t> order;
  for (const hostlink::Report& report : reports) {
    if (order.empty() || order.back() != report.packet_type) order.push_back(report.packet_type);
  }
  return order;
}

std::string Listing::CountOf(uint32_t type) const {
  for (const hostlink::Report& report : reports) {
    if (report.packet_type == type && report.stage == 1) return report.info;
  }
  return "(none)";
}

std::vector<std::string> Listing::Field(uint32_t type, const char* member) const {
  std::vector<std::string> values;
  for (const hostlink::Report& report : reports) {
    if (report.packet_type != type || report.stage != 2) continue;
    rapidjson::Document array;
    array.Parse(report.data.c_str());
    if (!array.IsArray()) continue;
    for (const rapidjson::Value& item : array.GetArray()) {
      const rapidjson::Value& value = item[member];
      values.push_back(value.IsString() ? value.GetString() : std::to_string(value.GetInt64()));
    }
  }
  return values;
}

std::vector<size_t> Listing::BatchSizes(uint32_t type) const {
  std::vector<size_t> sizes;
  for (const hostlink::Report& report : reports) {
    if (report.packet_type != type || report.stage != 2) continue;
    rapidjson::Document array;
    array.Parse(report.data.c_str());
    sizes.push_back(array.IsArray() ? array.Size() : 0);
  }
  return sizes;
}

void MediaPhone::StartPhone() {
  ASSERT_TRUE(corvane_.AddDevice("phone", profile_));
  ASSERT_TRUE(corvane_.StartWithDevices());
  ASSERT_TRUE(corvane_.WaitForDeviceReady(kMediaUdid));
}

void MediaPhone::AddLocalFile(const std::string& device_path, const std::string& local_path) {
  std::ifstream in(local_path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  profile_.AddFile(device_path, bytes.str());
}

Listing MediaPhone::Run(uint64_t task, uint32_t type, const std::string& info) {
  Listing listing;
  std::string json = std::string("{\"uuid\":\"") + kMediaUdid + "\",\"info\":" + info + "}";
  listing.final = corvane_.Run(task, type, json, {}, std::chrono::seconds(90));
  listing.reports = corvane_.TakeReportsOf(task);
  return listing;
}

bool MediaPhone::LogHas(const std::string& text) const {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(corvane_.WorkFolder(), error)) {
    if (entry.path().filename().string().find(".INFO.") == std::string::npos) continue;
    std::ifstream in(entry.path());
    std::stringstream content;
    content << in.rdbuf();
    if (content.str().find(text) != std::string::npos) return true;
  }
  return false;
}

std::string MediaPhone::TempFolder(const std::string& name) const {
  fs::path folder = fs::path(corvane_.temp_dir()) / "test" / name;
  fs::create_directories(folder);
  return folder.string();
}

}  // namespace e2e
