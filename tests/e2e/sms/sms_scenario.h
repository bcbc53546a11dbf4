// The messages scenarios' common ground: a Corvane process in a fixed time zone, running the messages command and
// turning its reports into texts that can be held against the one-document result.
//
// Thread safety: one test thread.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/corvane_harness.h"

namespace e2e {

// A zone with summer time, so that the date texts show local time and not UTC.
inline constexpr char kSmsTimeZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";
inline constexpr uint32_t kSmsQuery = 201;

class SmsScenario : public ::testing::Test {
 protected:
  void SetUp() override;

  // The command JSON for a database path.
  static std::string Command(const std::string& path);

  // Runs the command for `path` as task `task` and returns every report of the task, the final one last (empty
  // when no final report came).
  std::vector<hostlink::Report> RunQuery(uint64_t task, const std::string& path);

  // The reports before the final one as texts ("count N", "conversation {...}", "message {...}"), checking on the
  // way what every progress report carries (header code 2, code 0, empty uuid, type 0, the count as info).
  static std::vector<std::string> Texts(const std::vector<hostlink::Report>& reports);
  // What the host should receive for `path`: the one-document result walked conversation by conversation.
  static std::vector<std::string> Expected(const std::string& path);

  // A folder of the test's own.
  std::string Folder(const std::string& name) const;

  CorvaneHarness corvane_;
};

}  // namespace e2e
