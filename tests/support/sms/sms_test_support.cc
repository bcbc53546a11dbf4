#include "support/sms/sms_test_support.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace sms_test {

namespace fs = std::filesystem;

namespace {

std::string Compact(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace

FolderState ReadFolderState(const std::string& folder) {
  FolderState state;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    struct stat info {};
    if (::stat(entry.path().c_str(), &info) != 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    state[entry.path().filename().string()] =
        FileState{bytes.str(), static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
  }
  return state;
}

std::string MakeTempFolder(const std::string& prefix) {
  std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  return ::mkdtemp(name.data()) != nullptr ? std::string(name.data()) : std::string();
}

bool CopyFolderWritable(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::create_directories(to, error);
  if (error) return false;
  for (const fs::directory_entry& entry : fs::directory_iterator(from, error)) {
    fs::path target = fs::path(to) / entry.path().filename();
    fs::copy_file(entry.path(), target, error);
    if (error) return false;
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, error);
    if (error) return false;
  }
  return !error;
}

std::vector<std::string> ReportsFromDocument(const rapidjson::Document& document) {
  std::vector<std::string> reports;
  const rapidjson::Value& chats = document["chats"];
  reports.push_back("count " + std::to_string(chats.Size()));
  for (const rapidjson::Value& chat : chats.GetArray()) {
    rapidjson::Document without_messages;
    without_messages.CopyFrom(chat, without_messages.GetAllocator());
    without_messages.EraseMember("messages");
    reports.push_back("conversation " + Compact(without_messages));
    for (const rapidjson::Value& message : chat["messages"].GetArray()) reports.push_back("message " + Compact(message));
  }
  return reports;
}

}  // namespace sms_test
