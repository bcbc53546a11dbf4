#include "utility/process_context.h"

#include "platform/platform.h"

ProcessContext& ProcessContext::Get() {
  static ProcessContext* context = new ProcessContext();  // read by worker threads until the very end
  return *context;
}

void ProcessContext::Init(const StartParams& params, const std::string& work_folder) {
  params_ = params;
  work_folder_ = work_folder;
}

std::string ProcessContext::ProcessFolder(bool create) {
  std::string folder =
      work_folder_ + "/" + platform::ExecutableName() + "-" + std::to_string(platform::CurrentProcessId()) + "/";
  if (!create) return folder;
  std::lock_guard<std::mutex> lock(folder_mutex_);
  return platform::CreateDirectories(folder) ? folder : std::string();
}

bool ProcessContext::RemoveProcessFolder() {
  std::string folder = ProcessFolder(false);
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  std::lock_guard<std::mutex> lock(folder_mutex_);
  return platform::RemoveTree(folder);
}
