// Helpers of the media module's scenario tests: one simulated phone whose file tree holds a media library, and the
// reports of one listing sorted by packet type.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "harness/device_harness.h"

namespace e2e {

inline constexpr char kMediaUdid[] = "00008030-00000000ED1A0001";
inline constexpr char kLibraryDevicePath[] = "iTunes_Control/iTunes/MediaLibrary.sqlitedb";

// The reports of one command, in arrival order, and the final one.
struct Listing {
  std::vector<hostlink::Report> reports;
  std::optional<hostlink::Report> final;

  // The packet types in arrival order, runs of one type collapsed ({1004, 1005, ...}).
  std::vector<uint32_t> TypeOrder() const;
  // The count report's info of the first run of `type`.
  std::string CountOf(uint32_t type) const;
  // The items of every item report of `type`, each report's array concatenated.
  std::vector<std::string> Field(uint32_t type, const char* member) const;
  // The number of elements in each item report of `type`.
  std::vector<size_t> BatchSizes(uint32_t type) const;
};

class MediaPhone : public ::testing::Test {
 protected:
  devicesim::ProfileBuilder profile_{kMediaUdid};
  DeviceHarness corvane_;

  void StartPhone();
  // Adds the file at `local_path` to the device's tree at `device_path` (relative to the tree).
  void AddLocalFile(const std::string& device_path, const std::string& local_path);
  // Runs one command of the media module and collects its reports.
  Listing Run(uint64_t task, uint32_t type, const std::string& info = "{}");
  bool LogHas(const std::string& text) const;
  std::string TempFolder(const std::string& name) const;
};

}  // namespace e2e
