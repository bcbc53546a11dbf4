// Helpers of the file module's scenario tests: one ready simulated phone, its AFC folder on disk, and the
// host's side of the chunk and block exchanges.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "harness/device_harness.h"

namespace e2e {

inline constexpr char kFileUdid[] = "00008030-00000000F11E0001";
inline constexpr int64_t kMiB = 1024 * 1024;

inline std::string Generated(uint64_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (uint64_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(devicesim::ProfileBuilder::GeneratedByte(seed, i));
  return bytes;
}

inline std::string ReadLocal(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A harness with one ready phone named "phone".
class FilePhone : public ::testing::Test {
 protected:
  devicesim::ProfileBuilder profile_{kFileUdid};

  void StartPhone() {
    ASSERT_TRUE(corvane_.AddDevice("phone", profile_));
    ASSERT_TRUE(corvane_.StartWithDevices());
    ASSERT_TRUE(corvane_.WaitForDeviceReady(kFileUdid));
  }
  // The device file at an AFC path, as it is on disk.
  std::string DevicePath(const std::string& afc_path) const { return corvane_.ProfileFolder("phone") + "/afc" + afc_path; }
  bool DeviceHas(const std::string& afc_path) const { return std::filesystem::exists(DevicePath(afc_path)); }
  size_t AfcRequests(const std::string& name, const std::string& path) {
    devicesim::RequestFilter filter;
    filter.channel = "afc";
    filter.name = name;
    filter.arg_key = "Path";
    filter.arg_value = path;
    return corvane_.simulator().Log().Count(filter);
  }
  // Every handle opened on the path has been closed again.
  void ExpectClosed(const std::string& afc_path) {
    EXPECT_GT(AfcRequests("FILE_OPEN", afc_path), 0u) << afc_path;
    EXPECT_EQ(AfcRequests("FILE_OPEN", afc_path), AfcRequests("FILE_CLOSE", afc_path)) << afc_path;
  }
  // Runs a command that is answered at once (an export for an unknown device). The helper takes packets in the
  // order they come, so every packet sent before it has been taken in, and one dropped on arrival is dropped.
  void AfterEverythingSent(uint64_t barrier_task) {
    auto answer = corvane_.Run(barrier_task, 701, R"({"uuid":"no-such-device"})", "{}");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->code, 7);
  }
  std::optional<hostlink::Report> NextOf(uint64_t task, std::chrono::milliseconds timeout = 20s) {
    return corvane_.host().WaitFor([task](const hostlink::Report& r) { return r.task_id == task; }, timeout);
  }

  DeviceHarness corvane_;
};

}  // namespace e2e
