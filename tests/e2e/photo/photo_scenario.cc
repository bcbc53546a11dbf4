#include "photo/photo_scenario.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <zlib.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace e2e {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// (key, device path) of every photo with a path, read without the module's queries.
std::vector<std::pair<int64_t, std::string>> PhotoPaths(const std::string& library) {
  std::vector<std::pair<int64_t, std::string>> paths;
  sqlite3* db = nullptr;
  sqlite3_open_v2(library.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  for (const char* table : {"ZASSET", "ZGENERICASSET"}) {
    sqlite3_stmt* statement = nullptr;
    std::string sql = std::string("SELECT Z_PK, ZDIRECTORY || '/' || ZFILENAME FROM ") + table +
                      " WHERE ZDIRECTORY IS NOT NULL AND ZFILENAME IS NOT NULL";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) continue;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      paths.emplace_back(sqlite3_column_int64(statement, 0),
                         reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return paths;
}

}  // namespace

int64_t PhotoRun::Count() const {
  for (const hostlink::Report& report : reports) {
    if (report.stage != 1) continue;
    rapidjson::Document info;
    info.Parse(report.info.c_str());
    return info.IsObject() && info.HasMember("Count") ? info["Count"].GetInt64() : -1;
  }
  return -1;
}

std::vector<std::string> PhotoRun::Objects(std::vector<size_t>* batch_sizes) const {
  std::vector<std::string> objects;
  for (const hostlink::Report& report : reports) {
    if (report.stage != 2) continue;
    rapidjson::Document batch;
    batch.Parse(report.data.c_str());
    EXPECT_TRUE(batch.IsArray()) << report.data.substr(0, 200);
    if (!batch.IsArray()) continue;
    if (batch_sizes != nullptr) batch_sizes->push_back(batch.Size());
    for (const rapidjson::Value& object : batch.GetArray()) {
      rapidjson::StringBuffer buffer;
      rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
      object.Accept(writer);
      objects.emplace_back(buffer.GetString(), buffer.GetSize());
    }
  }
  return objects;
}

PhotoScenario::PhotoScenario() : phone_(kPhotoPhoneUdid) {
  setenv("TZ", kPhotoTimeZone, 1);  // for the expected date texts computed in this process
  tzset();
  corvane_.options().env.push_back({"TZ", kPhotoTimeZone});
  phone_.SetDeviceName("Photo Phone");
}

void PhotoScenario::AddLibrary(const std::string& library, const std::string& version) {
  phone_.SetProductVersion(version);
  for (const char* suffix : {"", "-wal", "-shm"}) {
    if (std::filesystem::exists(library + suffix)) {
      phone_.AddFile(std::string("PhotoData/Photos.sqlite") + suffix, ReadAll(library + suffix));
    }
  }
  for (const auto& [key, path] : PhotoPaths(library)) {
    phone_.AddFile(path, std::string(static_cast<size_t>(ScenarioFileSize(key)), 'p'));
  }
}

bool PhotoScenario::Start() {
  if (!corvane_.AddDevice("phone", phone_) || !corvane_.StartWithDevices()) return false;
  if (!corvane_.WaitForDeviceReady(kPhotoPhoneUdid)) {
    ADD_FAILURE() << "the phone did not become ready";
    return false;
  }
  return true;
}

PhotoRun PhotoScenario::Command(uint32_t type, const std::string& info_json, const std::string& data,
                                std::chrono::milliseconds timeout) {
  uint64_t task = ++next_task_;
  PhotoRun run;
  std::string json = std::string("{\"uuid\":\"") + kPhotoPhoneUdid + "\",\"info\":" + info_json + "}";
  run.final_report = corvane_.Run(task, type, json, data, timeout);
  run.reports = corvane_.TakeReportsOf(task);
  if (!run.final_report) ADD_FAILURE() << "no final report for type " << type;
  return run;
}

std::string PhotoScenario::TempFolder(const std::string& name) const {
  std::string folder = corvane_.temp_dir() + "/" + name;
  std::filesystem::create_directories(folder);
  return folder;
}

std::string Compressed(const std::string& text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()), text.size());
  out.resize(size);
  return out;
}

}  // namespace e2e
