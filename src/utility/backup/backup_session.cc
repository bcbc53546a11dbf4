#include "utility/backup/backup_session.h"

#include <glog/logging.h>

#include <chrono>

#include "utility/backup/backup_request.h"
#include "utility/backup/backup_request_actions.h"
#include "utility/protocol_codes.h"

namespace {

constexpr int64_t kLinkVersion = 300;
constexpr unsigned kPollMs = 500;
constexpr char kBackupReadError[] = "Task error.";
constexpr char kRestoreReadError[] = "Task error Unknown.";
constexpr char kCancelled[] = "Task cancelled.";

PlistValue Hello() {
  PlistValue versions = PlistValue::MakeArray({PlistValue::Integer(2), PlistValue::Real(2.1)});
  return PlistValue::MakeDict({{"MessageName", PlistValue::String("Hello")}, {"SupportedProtocolVersions", versions}});
}

bool Handshake(DeviceLink& link, const PlistValue& request) {
  if (link.ExchangeVersions(kLinkVersion) != DeviceLinkCode::kOk) return false;
  if (link.SendProcessMessage(Hello()) != DeviceLinkCode::kOk) return false;
  if (link.AcceptOneReply() != DeviceLinkCode::kOk) return false;
  return link.SendProcessMessage(request) == DeviceLinkCode::kOk;
}

class Progress {
 public:
  explicit Progress(const std::function<void(int)>& sink) : sink_(sink) {}
  void Update(const BackupRequest& request) {
    if (!request.progress) return;
    percent_ = *request.progress;
    int step = ProgressStep(percent_);
    if (step > last_step_) {
      last_step_ = step;
      if (sink_) sink_(step);
    }
  }
  bool Complete() const { return percent_ >= 100; }

 private:
  const std::function<void(int)>& sink_;
  double percent_ = 0;
  int last_step_ = -1;
};

enum class Wait { kRequest, kFailed, kCancelled };

// The next request; a silent device is waited for while the task runs, up to the silence limit.
Wait NextRequest(DeviceLink& link, const BackupSessionHooks& hooks, BackupRequest* request) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeviceSilenceLimitMs);
  for (;;) {
    if (hooks.cancelled && hooks.cancelled()) return Wait::kCancelled;
    DeviceLinkMessage message;
    DeviceLinkCode code = link.Receive(&message, kPollMs);
    if (code == DeviceLinkCode::kOk) {
      *request = DecodeBackupRequest(std::move(message));
      return Wait::kRequest;
    }
    if (code != DeviceLinkCode::kTimedOut || std::chrono::steady_clock::now() >= deadline) return Wait::kFailed;
  }
}

void LogDeviceError(const BackupRequest& request) {
  // The device's final word; 0 is its success.
  LOG_IF(INFO, request.error_code == 0) << "error: 0 description: " << request.error_description;
  LOG_IF(ERROR, request.error_code != 0) << "error: " << request.error_code
                                         << " description: " << request.error_description;
}

}  // namespace

BackupResult RunBackupSession(DeviceLink& link, const BackupPathMap& paths, const BackupSessionHooks& hooks) {
  PlistValue request = PlistValue::MakeDict(
      {{"MessageName", PlistValue::String("Backup")}, {"TargetIdentifier", PlistValue::String(paths.identifier())}});
  if (!Handshake(link, request)) return {protocol::kResultBackupTaskError, kBackupReadError};

  UploadHooks upload = hooks.upload;
  if (!upload.cancelled) upload.cancelled = hooks.cancelled;
  RequestActions actions(link, paths, upload, hooks.free_bytes);
  Progress progress(hooks.progress);
  for (;;) {
    BackupRequest next;
    Wait wait = NextRequest(link, hooks, &next);
    if (wait == Wait::kCancelled) return {protocol::kResultAborted, kCancelled};
    if (wait == Wait::kFailed) return {protocol::kResultBackupTaskError, kBackupReadError};
    progress.Update(next);
    switch (next.kind) {
      case BackupRequestKind::kProcessMessage:
        if (next.has_error_code) {
          LogDeviceError(next);
          if (next.error_code != 0) return {static_cast<int>(next.error_code), next.error_description};
          // The final Response: a device that reached 100 percent says goodbye after the reply.
          if (!progress.Complete()) return {};
        }
        if (!actions.ReplyEmpty()) return {protocol::kResultBackupTaskError, kBackupReadError};
        break;
      case BackupRequestKind::kDisconnect:
        if (progress.Complete()) return {};
        return {protocol::kResultBackupDisconnected, "The device disconnected before the backup was complete."};
      default: {
        BackupResult failure;
        if (!actions.Serve(next, &failure)) return failure;
      }
    }
  }
}

BackupResult RunRestoreSession(DeviceLink& link, const BackupPathMap& paths, const RestoreRequest& restore,
                               const BackupSessionHooks& hooks) {
  PlistValue::Dict options = {{"RestoreDontCopyBackup", PlistValue::Boolean(true)}};
  if (restore.encrypted) options["Password"] = PlistValue::String(restore.password);
  PlistValue request = PlistValue::MakeDict({{"MessageName", PlistValue::String("Restore")},
                                             {"Options", PlistValue::MakeDict(std::move(options))},
                                             {"SourceIdentifier", PlistValue::String(restore.source_identifier)},
                                             {"TargetIdentifier", PlistValue::String(restore.target_identifier)}});
  if (!Handshake(link, request)) return {protocol::kResultBackupTaskError, kRestoreReadError};

  RequestActions actions(link, paths, hooks.upload, hooks.free_bytes);
  Progress progress(hooks.progress);
  for (;;) {
    BackupRequest next;
    Wait wait = NextRequest(link, hooks, &next);
    if (wait == Wait::kCancelled) return {protocol::kResultAborted, kCancelled};
    if (wait == Wait::kFailed) return {protocol::kResultBackupTaskError, kRestoreReadError};
    progress.Update(next);
    switch (next.kind) {
      case BackupRequestKind::kDownloadFiles:
        if (!actions.SendFiles(RequestPathList(next))) return {protocol::kResultBackupTaskError, kRestoreReadError};
        break;
      case BackupRequestKind::kProcessMessage:
        if (next.has_error_code) {
          LogDeviceError(next);
          return {static_cast<int>(next.error_code), next.error_code == 0 ? std::string() : next.error_description};
        }
        if (!actions.SendFiles({})) return {protocol::kResultBackupTaskError, kRestoreReadError};
        break;
      case BackupRequestKind::kDisconnect:
        return {protocol::kResultBackupDisconnected, "The device disconnected before the restore was complete."};
      default:
        // A restore takes nothing from the device; anything else is answered as not supported.
        if (!actions.ReplyUnsupported()) return {protocol::kResultBackupTaskError, kRestoreReadError};
    }
  }
}
