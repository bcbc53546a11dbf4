// The photo scenarios' common ground: a simulated iPhone whose media partition holds a photo library (Photos.sqlite
// with its companions under PhotoData/, and a file for every photo the library names), a real Corvane process in
// a fixed time zone, and readers of the photo module's reports.
//
// Thread safety: one test thread.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devicesim/profile_builder.h"
#include "harness/device_harness.h"

namespace e2e {

inline constexpr char kPhotoPhoneUdid[] = "00008101-000A1B2C3D4E5F60";
inline constexpr char kPhotoTimeZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";

struct PhotoRun {
  std::optional<hostlink::Report> final_report;
  std::vector<hostlink::Report> reports;  // without the final one

  int64_t code() const { return final_report ? final_report->code : -1; }
  // The count report's number (-1 when there is none).
  int64_t Count() const;
  // The objects of the item reports, each as its compact JSON text, in order; and the size of every batch.
  std::vector<std::string> Objects(std::vector<size_t>* batch_sizes = nullptr) const;
};

class PhotoScenario : public ::testing::Test {
 protected:
  PhotoScenario();

  // Puts the library at `library` (with any -wal and -shm beside it) on the phone, and for every photo it names a
  // file of 700 + key bytes; the iOS version is `version`.
  void AddLibrary(const std::string& library, const std::string& version);
  bool Start();
  PhotoRun Command(uint32_t type, const std::string& info_json, const std::string& data = "",
                   std::chrono::milliseconds timeout = 120s);
  std::string AfcFolder() const { return corvane_.ProfileFolder("phone") + "/afc"; }
  std::string TempFolder(const std::string& name) const;

  devicesim::ProfileBuilder phone_;
  DeviceHarness corvane_;
  uint64_t next_task_ = 400;
};

// The file size the scenario gives the photo with this key.
inline int64_t ScenarioFileSize(int64_t key) { return 700 + key; }
// The zlib stream of `text`, as the host sends parameter blocks.
std::string Compressed(const std::string& text);

}  // namespace e2e
