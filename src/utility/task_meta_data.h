// TaskMetaData: what the client attaches to each command's task.
//
// The packet type and the socket of the connection the command arrived on are set at intake and do not change;
// the uuid is set by the module once it knows the device.
//
// Thread safety: the uuid is guarded by its own mutex; the rest is constant.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct TaskMetaData {
  TaskMetaData(uint32_t type, int connection_socket) : packet_type(type), socket(connection_socket) {}

  const uint32_t packet_type;
  const int socket;

  std::string uuid() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return uuid_;
  }
  void set_uuid(std::string uuid) {
    std::lock_guard<std::mutex> lock(mutex_);
    uuid_ = std::move(uuid);
  }

 private:
  mutable std::mutex mutex_;
  std::string uuid_;
};
