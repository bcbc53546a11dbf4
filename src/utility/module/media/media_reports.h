// How the media module's listings reach the host: data reports of their own packet types, under the command's
// task id and device identifier.
//
// Thread safety: one sender belongs to the thread that runs the command.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "utility/module/zeb_command.h"

namespace media {

class MediaSender {
 public:
  explicit MediaSender(const ZEBCommand& command) : command_(command) {}

  // A count report {"Count":N}, then arrays of at most 100 of `items` (each an item's JSON).
  void SendList(uint32_t type, const std::vector<std::string>& items) const;
  // One count report (stage 1) whose info is `info`.
  void SendCount(uint32_t type, const std::string& info) const;
  // One item report (stage 2) whose data is `data`.
  void SendItems(uint32_t type, const std::string& data) const;

 private:
  void Send(uint32_t type, const TaskReport& report) const;

  const ZEBCommand& command_;
};

}  // namespace media
