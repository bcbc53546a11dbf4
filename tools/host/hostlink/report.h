// Decoding of the reports Corvane sends to the host: results, progress, data and device events.
//
// A report payload is a text part followed by a data part. The text part is a marker ("1"), a NUL byte, one JSON
// object {"stage":S,"code":C,"uuid":"U","type":T,"info":{...}} and another NUL byte; it has no length limit. The
// data part is the rest of the payload; when the JSON "type" is 0 and there are data bytes, they are a zlib stream.
// Pure functions, safe from any thread.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_REPORT_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_REPORT_H_

#include <cstdint>
#include <string>

#include "hostlink/packet.h"

namespace hostlink {

struct Report {
  // From the packet header.
  uint64_t task_id = 0;
  uint32_t packet_type = 0;
  uint16_t header_code = 0;
  uint64_t payload_size = 0;

  // From the text part.
  std::string marker;     // the text before the first NUL, "1" in every well-formed report
  int64_t stage = 0;
  int64_t code = 0;
  std::string uuid;
  int64_t type = 0;
  bool has_info = false;
  std::string info;       // the "info" value exactly as its bytes were received (compact JSON from Corvane)
  std::string text_json;  // the whole JSON text between the two NUL bytes

  // The data part, inflated when type is 0 and there were data bytes.
  std::string data;
  bool data_was_compressed = false;

  // Empty for a well-formed report; otherwise what was wrong. The fields above hold whatever could be read, and
  // `data` holds the raw data bytes when they did not inflate.
  std::string error;

  bool ok() const { return error.empty(); }
  // True for the final report of a command: header code 1, 3, 5 or 6.
  bool is_final() const {
    return header_code == kCodeSuccess || header_code == kCodeList || header_code == kCodeAborted ||
           header_code == kCodeFailure;
  }
};

// Decodes one packet received from Corvane. Always returns a Report; check ok().
Report ParseReport(const Packet& packet);

}  // namespace hostlink

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_REPORT_H_
