// RequestActions: what the computer does for each request of a backup session, and the status reply it sends.
//
// The replies are ["DLMessageStatusResponse", code, text, value]: code 0 with "___EmptyParameterString___" and an
// empty dictionary (or the free byte count, or that text again after a new folder) when the request was carried
// out; code -13 "Multi status" with {name: {DLFileErrorCode: -6, DLFileErrorString: text}} after a download some
// of whose files could not be sent; a negative code with the system's text when a request could not be carried
// out or is not supported.
//
// Thread safety: belongs to the session's thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "utility/backup/backup_paths.h"
#include "utility/backup/backup_request.h"
#include "utility/backup/backup_session.h"
#include "utility/backup/upload_receiver.h"
#include "utility/ios/device_link.h"

class RequestActions {
 public:
  RequestActions(DeviceLink& link, const BackupPathMap& paths, const UploadHooks& upload,
                 std::function<int64_t(const std::string&)> free_bytes);

  // Carries out a file request of a backup (every kind but ProcessMessage and Disconnect) and replies. False ends
  // the session with *failure.
  bool Serve(const BackupRequest& request, BackupResult* failure);

  // Sends the named files, the closing zero, then the status; false when the stream failed.
  bool SendFiles(const std::vector<std::string>& names);
  bool ReplyEmpty();
  bool ReplyUnsupported();

 private:
  bool Reply(int64_t code, const std::string& text, PlistValue value);
  bool ReplyFailure(const std::string& text) { return Reply(-1, text, PlistValue::MakeDict()); }
  // Maps every path or refuses the request (replying, and setting *failure).
  bool MapAll(const std::vector<std::string>& device_paths, std::vector<std::string>* local, BackupResult* failure);
  bool Upload(BackupResult* failure);
  bool FreeSpace();

  DeviceLink& link_;
  const BackupPathMap& paths_;
  UploadReceiver receiver_;
  std::function<int64_t(const std::string&)> free_bytes_;
};
