// The reports the application module sends the host besides its final result. All have header code 2, the
// command's packet type and task id, stage 2 (the count of the list: stage 1), code 0 and the device's uuid.
//
//   list (501)      stage 1, info {"Count":N}; then per application stage 2, no info, data = its JSON object
//                   (type 0, so compressed on the wire); sent through the listing reporter
//   icon (502)      info {"bundle_id":"ID"}, data = the PNG (type 1, raw: it is compressed already)
//   install (504)   per package, in this order:
//                   package info   info {"bundle_id":"ID","package":"PATH"}, data = the application's JSON object
//                                  built like a list entry from Info.plist and iTunesMetadata.plist (type 0)
//                   store icon     info {"bundle_id":"ID","url":"URL"}, data = the image (type 1); only when
//                                  the metadata names one and it could be downloaded
//                   progress       info {"bundle_id":"ID","percent":P}, once per "PercentComplete"
//                   outcome        info {"bundle_id":"ID","package":"PATH","complete":true}, or with
//                                  "complete":false,"error":"E"[,"description":"D"]
//                   A package that cannot be read has no info report and ends with the outcome
//                   {"package":"PATH","complete":false,"error":"PackageUnreadable"|"UnsafeBundleIdentifier"};
//                   one that cannot be uploaded with error "UploadFailed" (no install message is sent).
//   uninstall (505) and archive (506), per identifier: progress as above, then the outcome
//                   {"bundle_id":"ID","complete":true|false[,"error":"E"[,"description":"D"]]}.
// Outcome errors: the device's own "Error" and "ErrorDescription" (e.g. "LookupFailed"), or "NotSent" (the
// message could not be made or sent), or "NoAnswer" (the exchange ended without "Complete" or "Error").
//
// Thread safety: pure functions. A returned TaskReport's data view points into the caller's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "utility/task_report.h"

struct ItemOutcome {
  std::string bundle_id{};  // empty when the package could not be read
  std::string package{};    // install only
  bool complete = false;
  std::string error{};
  std::string description{};
  // False when the exchange broke off (no answer, a cut or unreadable message): whatever the device still sends
  // for this item must not be read as the next item's answer, so the caller starts the service afresh.
  bool exchange_ended_cleanly = true;
};

TaskReport IconReport(const std::string& uuid, std::string_view bundle_id, std::string_view png);
TaskReport PackageInfoReport(const std::string& uuid, std::string_view bundle_id, std::string_view package,
                             std::string_view json);
TaskReport StoreIconReport(const std::string& uuid, std::string_view bundle_id, std::string_view url,
                           std::string_view image);
TaskReport ProgressReport(const std::string& uuid, std::string_view bundle_id, int64_t percent);
TaskReport OutcomeReport(const std::string& uuid, const ItemOutcome& outcome);
