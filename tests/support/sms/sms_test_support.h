// Helpers the messages tests share: what a folder holds (to prove it was left alone), temporary folders, and the
// host's reports as the one-document result predicts them.
//
// Thread safety: pure functions, apart from the files they read and write.
#pragma once

#include <rapidjson/document.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sms_test {

struct FileState {
  std::string bytes;
  int64_t mtime_ns = 0;
  bool operator==(const FileState&) const = default;
};
// Every file of `folder` (not recursive) by name, with its bytes and modification time.
using FolderState = std::map<std::string, FileState>;
FolderState ReadFolderState(const std::string& folder);

// A fresh folder under the temporary directory.
std::string MakeTempFolder(const std::string& prefix);
// Copies the files of `from` into the new folder `to`, writable by their owner (as a host's copy would be), so
// that a test notices when anything writes to them.
bool CopyFolderWritable(const std::string& from, const std::string& to);

// The reports the host should receive for `document` (with "chats", messages inline), as texts: "count N", then
// per conversation "conversation " + its compact JSON without "messages", then "message " + each message's.
std::vector<std::string> ReportsFromDocument(const rapidjson::Document& document);

}  // namespace sms_test
