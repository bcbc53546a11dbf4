// TaskReport: the content of every result, progress or event packet sent to the host.
//
// Payload layout: the text part "1", NUL, {"stage":S,"code":C,"uuid":"U","type":T,"info":I}, NUL; then the data
// part. Members come in exactly this order; "uuid" is "" when there is none; "info" appears only when the info
// text is not empty and is valid JSON, and then exactly as written. A report of type 0 carries its data as one
// zlib stream (report_data_compressor.h: level 9's ratio where the data compress, stored blocks where they do
// not, or where the sender asks for them); other types carry them as they are. The text part may be of any
// length.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "basic/ipc_packet.h"

struct TaskReport {
  int stage = 0;
  int64_t code = 0;
  std::string uuid;
  int type = 0;
  std::string info;
  // Set by a sender that wrote `info` as JSON itself: it is then not parsed again for every report.
  bool info_is_json = false;
  // Type 0 only: the data go as a zlib stream of stored blocks, not deflated. For a stream of many small reports
  // (a listing's messages), where building the Huffman codes of each costs more than the bytes it would save.
  bool store_data = false;
  std::string_view data;  // not owned; must outlive the send
};

// The text part, including the leading "1", NUL and the final NUL.
std::string BuildReportText(const TaskReport& report);
// The same, appended to `*out`.
void AppendReportText(const TaskReport& report, std::string* out);

// Appends the whole packet of a report to `*out`: the header (its length field set), the text part and the data
// part. `*scratch` holds the compressed data meanwhile; reused between calls, it saves an allocation each.
void AppendReportPacket(bas::IPCPacketHeader header, const TaskReport& report, std::string* out,
                        std::string* scratch);

// The data part as sent: compressed into `*storage` for type 0 (the returned view points into it), else the
// report's own bytes. Empty when the report has no data or compression failed.
std::string_view BuildReportData(const TaskReport& report, std::string* storage);
