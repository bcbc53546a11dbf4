// Shared steps of the backup extraction scenarios: real databases made ready for a backup source, a Corvane with
// the test plug-in (which answers the manifest and WhatsApp requests), and 1608 with its item reports.
//
// Thread safety: one test thread.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "harness/device_harness.h"

namespace e2e {

// The fixture database `name` of `folder` (with its -wal and -shm) as one file, as a device's backup holds it:
// copied into `scratch`, its write-ahead log folded in. Returns the bytes.
std::string FoldedDatabase(const std::string& folder, const std::string& name, const std::string& scratch);

// Rows of `table` in the SQLite file at `path` (opened read-only); -1 when it does not open or has no such table.
int64_t CountRows(const std::string& path, const std::string& table);

// A SQLite file made by running `sql`, returned as bytes.
std::string MadeDatabase(const std::string& scratch, const std::string& sql);

struct ExtractRun {
  std::optional<hostlink::Report> final;
  std::vector<hostlink::Report> reports;   // every other report of the task, in arrival order
  std::vector<rapidjson::Document> items;  // the stage-2 reports' data, parsed, in arrival order
  // The items whose "sub_command_type" is `name`, in arrival order.
  std::vector<const rapidjson::Document*> Items(const std::string& name) const;
  // The index in `items` of the first item named `name`; -1 when none.
  int IndexOf(const std::string& name) const;
};

std::string ExtractJson(const std::string& udid, const std::string& types);
ExtractRun RunExtract(DeviceHarness& corvane, uint64_t task, const std::string& json,
                      std::chrono::milliseconds timeout = std::chrono::seconds(180));
// Sorts the reports of a task that has ended.
ExtractRun CollectExtract(DeviceHarness& corvane, uint64_t task, std::optional<hostlink::Report> final);

// Loads the test plug-in into the harness (before it starts).
void UseTestPlugin(DeviceHarness& corvane);

}  // namespace e2e
