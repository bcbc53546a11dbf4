// The requests the device makes of the computer during a backup or restore: the computer is the file server,
// the device drives. Each call sends one device-link request carrying the overall progress and waits for the
// computer's status answer.
//
// Belongs to the thread serving the backup connection.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "backup_transfer.h"
#include "device_link.h"

namespace devicesim {

class BackupComputer {
 public:
  explicit BackupComputer(DeviceLink& link) : link_(link) {}

  Stream& stream() { return link_.stream(); }
  DeviceLink& link() { return link_; }
  // The overall progress (0 to 100) that the following requests carry.
  void SetProgress(double percent) { progress_ = percent; }

  // Every call returns false only when the connection broke or the computer answered out of turn; a status
  // code other than 0 is the computer's business and is kept in last_status().

  // DownloadFiles: the computer streams the files into `sink`; names it lacks land in *missing.
  bool Download(const std::vector<std::string>& paths, DownloadSink& sink, std::map<std::string, std::string>* missing);
  // One small file (up to 256 MiB); *content stays empty when the computer has none.
  bool DownloadOne(const std::string& path, std::optional<std::string>* content);
  bool FreeSpace(uint64_t* bytes);
  bool CreateDirectory(const std::string& path);
  // MoveItems in requests of up to 128 pairs.
  bool Move(const std::vector<std::pair<std::string, std::string>>& moves);
  bool Remove(const std::vector<std::string>& paths);
  // UploadFiles announcing `batch_bytes`; the caller then streams the files and calls EndUpload.
  bool BeginUpload(uint64_t batch_bytes);
  bool EndUpload();
  // The final ["DLMessageProcessMessage", {MessageName: "Response", ErrorCode, ErrorDescription?, ...}]. After a
  // success a computer that answers it is told DLMessageDisconnect; one that closes the connection is left alone.
  bool Finish(int64_t error_code, const std::string& description, Value extra = Value::Dict());

  const DeviceLinkStatus& last_status() const { return status_; }

 private:
  bool Request(Value message);

  DeviceLink& link_;
  double progress_ = 0;
  DeviceLinkStatus status_;
};

}  // namespace devicesim
