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

}  // namespace

std::string BuildReportText(const TaskReport& report) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("stage");
  writer.Int(report.stage);
  writer.Key("code");
  writer.Int64(report.code);
  writer.Key("uuid");
  writer.String(report.uuid.data(), static_cast<rapidjson::SizeType>(report.uuid.size()));
  writer.Key("type");
  writer.Int(report.type);
  if (!report.info.empty() && IsJson(report.info)) {
    writer.Key("info");
    writer.RawValue(report.info.data(), report.info.size(), rapidjson::kObjectType);
  }
  writer.EndObject();
  std::string text;
  text.reserve(buffer.GetSize() + 3);
  text += '1';
  text += '\0';
  text.append(buffer.GetString(), buffer.GetSize());
  text += '\0';
  return text;
}

std::string_view BuildReportData(const TaskReport& report, std::string* storage) {
  if (report.data.empty()) return std::string_view();
  if (report.type != 0) return report.data;
  if (!report_data::Compress(report.data, storage)) return std::string_view();
  return *storage;
}
