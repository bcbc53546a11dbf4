#include "hostlink/report.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <string_view>

#include "hostlink/zlib_codec.h"

namespace hostlink {
namespace {

// A read-only input stream over NUL-terminated text whose position is exact inside every parser callback. (The
// parser works on a private copy of a rapidjson::StringStream while it reads a string or number, so that stream's
// Tell() lags behind there; a stream without the copy optimisation is read in place.)
class PositionStream {
 public:
  using Ch = char;
  explicit PositionStream(const char* text) : begin_(text), at_(text) {}
  Ch Peek() const { return *at_; }
  Ch Take() { return *at_++; }
  size_t Tell() const { return static_cast<size_t>(at_ - begin_); }
  // Output operations, required by the stream concept, are never used by the reader.
  Ch* PutBegin() { return nullptr; }
  void Put(Ch) {}
  void Flush() {}
  size_t PutEnd(Ch*) { return 0; }

 private:
  const char* begin_;
  const char* at_;
};

// Finds the bytes of the value of the top-level member "info" in a JSON object text, so that the host sees the
// value exactly as Corvane wrote it (member order, number spelling, escapes) rather than a re-serialised copy.
// A SAX pass notes the stream position after the key and after the value ends at the top level.
class InfoValueLocator : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, InfoValueLocator> {
 public:
  explicit InfoValueLocator(const PositionStream* stream) : stream_(stream) {}

  bool Key(const char* name, rapidjson::SizeType length, bool) {
    // The first top-level "info" counts, as it does for a DOM lookup.
    if (depth_ == 1 && key_end_ == kNone && std::string_view(name, length) == "info") {
      key_end_ = stream_->Tell();
      in_info_ = true;
    }
    return true;
  }
  bool StartObject() { return Enter(); }
  bool StartArray() { return Enter(); }
  bool EndObject(rapidjson::SizeType) { return Leave(); }
  bool EndArray(rapidjson::SizeType) { return Leave(); }
  bool Default() { return ValueEnded(); }

  // The range [begin, end) of the value within the text, or false when there is no top-level "info".
  bool Range(size_t* begin, size_t* end) const {
    if (value_end_ == kNone) return false;
    *begin = key_end_;
    *end = value_end_;
    return true;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  bool Enter() {
    ++depth_;
    return true;
  }
  bool Leave() {
    --depth_;
    return ValueEnded();
  }
  bool ValueEnded() {
    if (depth_ == 1 && in_info_) {
      value_end_ = stream_->Tell();
      in_info_ = false;
    }
    return true;
  }

  const PositionStream* stream_;
  int depth_ = 0;
  bool in_info_ = false;
  size_t key_end_ = kNone;
  size_t value_end_ = kNone;
};

std::string InfoText(const std::string& json) {
  PositionStream stream(json.c_str());
  InfoValueLocator locator(&stream);
  rapidjson::Reader reader;
  reader.Parse(stream, locator);
  size_t begin = 0;
  size_t end = 0;
  if (!locator.Range(&begin, &end)) return {};
  // Skip the separator between key and value: whitespace, the colon, whitespace.
  while (begin < end && (json[begin] == ':' || json[begin] == ' ' || json[begin] == '\t' || json[begin] == '\n' ||
                         json[begin] == '\r')) {
    ++begin;
  }
  return json.substr(begin, end - begin);
}

// Reads an integer member; notes a problem in *error (first one wins) when it is missing or not an integer.
int64_t IntegerMember(const rapidjson::Document& doc, const char* name, std::string* error) {
  auto it = doc.FindMember(name);
  if (it != doc.MemberEnd() && it->value.IsInt64()) return it->value.GetInt64();
  if (error->empty()) *error = std::string("report JSON has no integer \"") + name + "\"";
  return 0;
}

void ParseTextJson(Report* report) {
  rapidjson::Document doc;
  doc.Parse(report->text_json.c_str(), report->text_json.size());
  if (doc.HasParseError()) {
    report->error = std::string("report JSON does not parse: ") + rapidjson::GetParseError_En(doc.GetParseError());
    return;
  }
  if (!doc.IsObject()) {
    report->error = "report JSON is not an object";
    return;
  }
  report->stage = IntegerMember(doc, "stage", &report->error);
  report->code = IntegerMember(doc, "code", &report->error);
  report->type = IntegerMember(doc, "type", &report->error);
  auto uuid = doc.FindMember("uuid");
  if (uuid != doc.MemberEnd() && uuid->value.IsString()) {
    report->uuid.assign(uuid->value.GetString(), uuid->value.GetStringLength());
  } else if (report->error.empty()) {
    report->error = "report JSON has no string \"uuid\"";
  }
  if (doc.HasMember("info")) {
    report->has_info = true;
    report->info = InfoText(report->text_json);
  }
}

}  // namespace

Report ParseReport(const Packet& packet) {
  Report report;
  report.task_id = packet.header.task_id;
  report.packet_type = packet.header.packet_type;
  report.header_code = packet.header.code;
  report.payload_size = packet.header.payload_size;

  std::string_view payload = packet.payload;
  size_t marker_end = payload.find('\0');
  if (marker_end == std::string_view::npos) {
    report.error = "payload has no NUL after the marker";
    report.marker = payload;
    return report;
  }
  report.marker = payload.substr(0, marker_end);
  size_t json_end = payload.find('\0', marker_end + 1);
  if (json_end == std::string_view::npos) {
    report.error = "payload has no NUL after the JSON text";
    report.text_json = payload.substr(marker_end + 1);
    return report;
  }
  report.text_json = payload.substr(marker_end + 1, json_end - marker_end - 1);
  ParseTextJson(&report);

  std::string_view data = payload.substr(json_end + 1);
  if (report.type == 0 && !data.empty() && report.error.empty()) {
    std::string inflate_error;
    if (ZlibInflate(data, &report.data, &inflate_error)) {
      report.data_was_compressed = true;
      return report;
    }
    report.error = "data part of a type-0 report does not inflate: " + inflate_error;
  }
  report.data = data;
  return report;
}

}  // namespace hostlink
