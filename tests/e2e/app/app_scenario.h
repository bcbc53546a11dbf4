// Shared set-up of the application module's scenario tests: a real Corvane process with one simulated iPhone,
// the command helpers and readers of the reports the module sends.
//
// One test thread.
#pragma once

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <optional>
#include <string>
#include <vector>

#include "devicesim/profile_builder.h"
#include "harness/device_harness.h"

namespace e2e {

inline constexpr char kPhoneUdid[] = "00008030-001A2B3C4D5E602E";

// A command's reports: the final one and those before it, in arrival order.
struct CommandRun {
  std::optional<hostlink::Report> final_report;
  std::vector<hostlink::Report> reports;  // without the final one

  int64_t code() const { return final_report ? final_report->code : -1; }
  // The reports whose info has this member.
  std::vector<hostlink::Report> WithMember(const char* name) const;
};

class AppScenario : public ::testing::Test {
 protected:
  // A trusted iPhone without applications; tests add what they need before Start.
  AppScenario();

  // Starts the simulator and Corvane and waits for the phone; false (with a test failure) otherwise.
  bool Start();
  // Sends the command for the phone (or `uuid`) with `arguments` as the second JSON text, and collects its reports.
  CommandRun Command(uint32_t type, const std::string& arguments = "", const std::string& uuid = kPhoneUdid,
                     std::chrono::milliseconds timeout = 60s);
  // The phone's folder on the simulated device's file system (afc/).
  std::string AfcFolder() const { return corvane_.ProfileFolder("phone") + "/afc"; }
  // A file in the test's temporary folder.
  std::string TempPath(const std::string& name) const { return corvane_.temp_dir() + "/" + name; }
  size_t Count(const devicesim::RequestFilter& filter) { return corvane_.simulator().Log().Count(filter); }

  devicesim::ProfileBuilder phone_;
  DeviceHarness corvane_;
  uint64_t next_task_ = 100;
};

// Parses a JSON object text; a failure is a test failure.
rapidjson::Document ParseObject(const std::string& text);
// `text` as a JSON string literal.
std::string JsonQuoted(const std::string& text);
// The text member of a JSON object text ("" when absent).
std::string TextMember(const std::string& json, const char* name);

}  // namespace e2e
