#include "crash_report.h"

#include <glog/logging.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <algorithm>
#include <filesystem>
#include <cctype>
#include <cstdio>

#include "libbasic/bas_utility_sys.h"
#include "platform/platform.h"
#include "utility/process_context.h"

std::string WriteCrashReport(const std::string& folder) {
  const StartParams& params = ProcessContext::Get().params();
  rapidjson::StringBuffer buffer;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
  writer.SetIndent(' ', 4);
  writer.StartObject();
  writer.Key("Product");
  writer.String(params.product.c_str());
  writer.Key("Version");
  writer.String(params.version.c_str());
  writer.Key("System");
  writer.String(platform::SystemDescription().c_str());
  writer.EndObject();
  std::string path = folder + "Crash.json";
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(buffer.GetString(), 1, buffer.GetSize(), file);
    std::fclose(file);
  }
  if (ProcessContext::Get().params().open_log && ProcessContext::Get().SetLoggingShutDown()) {
    google::FlushLogFiles(google::GLOG_INFO);
  }
  return path;
}

void CleanUpAfterCrash(const std::string& path) {
  // Only ever the dump's own folder: a path without one names no folder of ours.
  size_t slash = path.find_last_of('/');
  if (path.empty() || path[0] != '/' || slash == std::string::npos || slash == 0) return;
  std::string folder = path.substr(0, slash);
  std::error_code error;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder, error)) {
    std::string lower = entry.path().filename().string();
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower.find(".zip") != std::string::npos) continue;
    std::error_code kind_error;
    // Files and links go; folders (which a link to one is not) stay.
    if (entry.is_symlink(kind_error) || !entry.is_directory(kind_error)) {
      std::filesystem::remove(entry.path(), kind_error);
    }
  }
}

std::string CrashDumpPath(const std::string& work_folder) {
  return work_folder + "/" + bas::BASUtilitySys::GetNowDateTime("%Y%m%d%H%M%S") + ".dmp";
}
