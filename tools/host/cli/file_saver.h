// --save: writes the data parts that are files for people into one local folder. Streamed device files (702) are
// reassembled from their chunks at the offsets the chunks name, into "<name>.part", and take their final name
// only when the stream's final report says it succeeded (a failed or stopped stream leaves nothing); images
// (application icons) are written as PNG or JPEG files named after the report's item.
//
// Names come from the device or from Corvane, so they are reduced to one plain file name (SafeFileName) and
// nothing is written outside the folder. An existing file of the same name is replaced.
//
// Thread-compatible: one thread feeds a FileSaver.
#ifndef CORVANE_TOOLS_HOST_CLI_FILE_SAVER_H_
#define CORVANE_TOOLS_HOST_CLI_FILE_SAVER_H_

#include <rapidjson/document.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "command_list.h"
#include "hostlink/report.h"

namespace corvane_host {

// The last "/"-separated part of `name` with control bytes and \ : * ? " < > | replaced by "_", at most 255
// bytes; `fallback` when nothing usable is left ("", ".", "..").
std::string SafeFileName(std::string_view name, std::string_view fallback);

struct SaveOutcome {
  std::string path;   // the file the report completed or wrote; empty when none
  std::string error;  // what went wrong, for a message; empty when nothing did
};

class FileSaver {
 public:
  explicit FileSaver(std::string folder) : folder_(std::move(folder)) {}
  ~FileSaver();
  FileSaver(const FileSaver&) = delete;
  FileSaver& operator=(const FileSaver&) = delete;

  // Takes one report of task `task`, whose command (`command`, null when its JSON did not parse) saves as `save`.
  SaveOutcome Take(uint64_t task, const SaveShape& save, const hostlink::Report& report,
                   const rapidjson::Value* command);

 private:
  struct Stream {
    int fd = -1;
    std::string part_path;
    std::string final_path;
    int64_t written = 0;  // bytes of all chunks written
    std::string error;    // the first failure; the stream is then not kept
  };
  SaveOutcome TakeStreamed(uint64_t task, const hostlink::Report& report, const rapidjson::Value* command);
  SaveOutcome TakeImage(const SaveShape& save, const hostlink::Report& report);
  Stream& Open(uint64_t task, const rapidjson::Value* command);
  void Close(Stream& stream, bool keep);

  std::string folder_;
  std::map<uint64_t, Stream> streams_;
};

}  // namespace corvane_host

#endif  // CORVANE_TOOLS_HOST_CLI_FILE_SAVER_H_
