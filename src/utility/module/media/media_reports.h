// How the media module's listings reach the host: data reports of their own packet types, under the command's
// task id and device identifier.
//
// Thread safety: one sender belongs to the thread that runs the command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "utility/listing/listing_reporter.h"
#include "utility/module/zeb_command.h"

namespace media {

class MediaSender {
 public:
  explicit MediaSender(const ZEBCommand& command) : command_(command) {}

  // A count report {"Count":N}, then arrays of at most 100 records, each written by `to_json` as its batch fills,
  // so that a long list never exists as text all at once.
  template <typename Record, typename ToJson>
  void SendRecords(uint32_t type, const std::vector<Record>& records, ToJson to_json) const {
    ListingReporter reporter(command_.uuid(), ListingOptions{}, Sender(type));
    reporter.SendCount(static_cast<int64_t>(records.size()));
    for (const Record& record : records) reporter.Add(to_json(record));
    reporter.Finish();
  }
  // One count report (stage 1) whose info is `info`.
  void SendCount(uint32_t type, const std::string& info) const;
  // One item report (stage 2) whose data is `data`.
  void SendItems(uint32_t type, const std::string& data) const;

 private:
  void Send(uint32_t type, const TaskReport& report) const;
  ListingReporter::Send Sender(uint32_t type) const {
    return [this, type](const TaskReport& report) { Send(type, report); };
  }

  const ZEBCommand& command_;
};

}  // namespace media
