#include "utility/task_report.h"

#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "utility/report_data_compressor.h"

namespace {

// True when `text` is one valid JSON value (with nothing but blanks after it).
bool IsJson(std::string_view text) {
  rapidjson::Reader reader;
  rapidjson::BaseReaderHandler<> ignore;
  rapidjson::MemoryStream stream(text.data(), text.size());
  return !reader.Parse(stream, ignore).IsError();
}

// Lets the JSON writer append straight to a string.
struct AppendStream {
  using Ch = char;
  std::string* out;
  void Put(char c) { out->push_back(c); }
  void Flush() {}
};

}  // namespace

std::string BuildReportText(const TaskReport& report) {
  std::string text;
  AppendReportText(report, &text);
  return text;
}

void AppendReportText(const TaskReport& report, std::string* out) {
  out->push_back('1');
  out->push_back('\0');
  AppendStream stream{out};
  rapidjson::Writer<AppendStream> writer(stream);
  writer.StartObject();
  writer.Key("stage");
  writer.Int(report.stage);
  writer.Key("code");
  writer.Int64(report.code);
  writer.Key("uuid");
  writer.String(report.uuid.data(), static_cast<rapidjson::SizeType>(report.uuid.size()));
  writer.Key("type");
  writer.Int(report.type);
  if (!report.info.empty() && (report.info_is_json || IsJson(report.info))) {
    writer.Key("info");
    writer.RawValue(report.info.data(), report.info.size(), rapidjson::kObjectType);
  }
  writer.EndObject();
  out->push_back('\0');
}

void AppendReportPacket(bas::IPCPacketHeader header, const TaskReport& report, std::string* out,
                        std::string* scratch) {
  size_t start = out->size();
  out->resize(start + bas::kPacketHeaderSize);
  AppendReportText(report, out);
  std::string_view data = BuildReportData(report, scratch);
  out->append(data.data(), data.size());
  header.length = out->size() - start - bas::kPacketHeaderSize;
  bas::EncodePacketHeader(header, out->data() + start);
}

std::string_view BuildReportData(const TaskReport& report, std::string* storage) {
  if (report.data.empty()) return std::string_view();
  if (report.type != 0) return report.data;
  if (report.store_data) {
    report_data::Store(report.data, storage);
    return *storage;
  }
  if (!report_data::Compress(report.data, storage)) return std::string_view();
  return *storage;
}
