// The start parameters: the one JSON object the host passes as the helper's command line.
//
// Keys are looked up by name, in any order; flags are JSON integers (non-zero is on). Text that is not a JSON
// object leaves every parameter at its zero value, and start-up goes on with them.
//
// Thread safety: plain values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct StartParams {
  int port = 0;
  int64_t host_pid = 0;
  bool show_console = false;
  bool test_self = false;
  bool open_log = false;
  int helper_type = 0;  // 2: an elevated child helper; 1: sends no raw device notices or connection errors
  std::string version;
  std::string brand;
  std::string product;
  std::string task_id;
  std::vector<std::string> load_modules;
};

// Parses the command line; false (with `params` left at its zero values) when it is not a JSON object. Members of
// the wrong type are left at their zero value.
bool ParseStartParams(std::string_view command_line, StartParams* params);

// The task id text as a 64-bit number, read as far as it is decimal (0 when it does not begin with a digit).
uint64_t TaskIdNumber(std::string_view task_id);
