#include "harness/corvane_harness.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace e2e {

std::string MakeTempDir(const std::string& prefix, const std::string& parent) {
  std::string folder = parent.empty() ? std::filesystem::temp_directory_path().string() : parent;
  std::string base = folder + "/" + prefix + "-XXXXXX";
  std::vector<char> path(base.begin(), base.end());
  path.push_back('\0');
  if (::mkdtemp(path.data()) == nullptr) return std::string();
  return path.data();
}

CorvaneHarness::CorvaneHarness(const std::string& parent) : temp_dir_(MakeTempDir("corvane-e2e", parent)) {
  listener_.Listen(0);
  params_ = hostlink::StartParams::ForListener(listener_.port());
  options_.env.push_back({"TMPDIR", temp_dir_});
  // Nothing of the machine's own device stack is used unless a test points Corvane at it.
  SetDeviceSocket("UNIX:" + temp_dir_ + "/no-usbmuxd");
  options_.stdout_path = temp_dir_ + "/corvane.out";
  options_.stderr_path = temp_dir_ + "/corvane.out";
}

CorvaneHarness::~CorvaneHarness() {
  if (corvane_) corvane_->Stop(2s);
  if (!temp_dir_.empty() && std::getenv("CORVANE_KEEP_TEST_FILES") == nullptr) {
    std::error_code error;
    std::filesystem::remove_all(temp_dir_, error);
  }
}

void CorvaneHarness::SetDeviceSocket(const std::string& address) {
  auto& env = options_.env;
  env.erase(std::remove_if(env.begin(), env.end(), [](const auto& entry) { return entry.first == "USBMUXD_SOCKET_ADDRESS"; }),
            env.end());
  env.push_back({"USBMUXD_SOCKET_ADDRESS", address});
}

bool CorvaneHarness::Start(bool accept) {
  corvane_ = std::make_unique<hostlink::CorvaneProcess>();
  if (!corvane_->Start(params_, options_)) return false;
  if (!accept) return true;
  host_ = listener_.Accept(15s);
  return host_ != nullptr;
}

bool CorvaneHarness::Restart() {
  if (corvane_) corvane_->Stop(2s);
  host_.reset();
  return Start(true);
}

std::string CorvaneHarness::WorkFolder() const {
  char date[16];
  std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof date, "%Y%m%d", std::localtime(&now));
  return temp_dir_ + "/" + params_.brand + "/" + date;
}

std::string CorvaneHarness::ProcessFolder() const {
  return WorkFolder() + "/Corvane-" + std::to_string(corvane_ ? corvane_->pid() : 0);
}

std::optional<hostlink::Report> CorvaneHarness::WaitForType(uint32_t packet_type, std::chrono::milliseconds timeout) {
  return host_->WaitFor(hostlink::OfType(packet_type), timeout);
}

std::optional<hostlink::Report> CorvaneHarness::Run(uint64_t task_id, uint32_t packet_type, const std::string& json,
                                                    const std::string& data, std::chrono::milliseconds timeout) {
  if (!host_->SendCommand(task_id, packet_type, json, data)) return std::nullopt;
  return host_->WaitFor(hostlink::FinalOf(task_id, packet_type), timeout);
}

std::vector<hostlink::Report> CorvaneHarness::TakeReportsOf(uint64_t task_id) {
  std::vector<hostlink::Report> taken;
  auto& pending = host_->pending();
  for (auto it = pending.begin(); it != pending.end();) {
    if (it->task_id == task_id) {
      taken.push_back(std::move(*it));
      it = pending.erase(it);
    } else {
      ++it;
    }
  }
  return taken;
}

}  // namespace e2e
