#include "report_format.h"

#include <openssl/evp.h>
#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace corvane_host {
namespace {

template <typename Writer>
void WriteString(Writer& w, std::string_view s) {
  w.String(s.data(), static_cast<rapidjson::SizeType>(s.size()));
}

// Writes `text` as a JSON value when it is valid UTF-8 JSON; returns false (writing nothing) otherwise.
template <typename Writer>
bool WriteJsonText(Writer& w, std::string_view text) {
  rapidjson::Document doc;
  doc.Parse<rapidjson::kParseValidateEncodingFlag>(text.data(), text.size());
  if (doc.HasParseError()) return false;
  doc.Accept(w);
  return true;
}

template <typename Writer>
void WriteReport(Writer& w, const hostlink::Report& r, std::string_view saved) {
  w.StartObject();
  w.Key("task_id");
  w.Uint64(r.task_id);
  w.Key("packet_type");
  w.Uint(r.packet_type);
  w.Key("header_code");
  w.Uint(r.header_code);
  w.Key("payload_size");
  w.Uint64(r.payload_size);
  w.Key("stage");
  w.Int64(r.stage);
  w.Key("code");
  w.Int64(r.code);
  w.Key("uuid");
  WriteString(w, r.uuid);
  w.Key("type");
  w.Int64(r.type);
  if (r.has_info) {
    w.Key("info");
    if (!WriteJsonText(w, r.info)) WriteString(w, r.info);
  }
  if (!r.data.empty()) {
    w.Key("data");
    if (!WriteJsonText(w, r.data)) {
      w.StartObject();
      w.Key("size");
      w.Uint64(r.data.size());
      w.Key("sha1");
      WriteString(w, Sha1Hex(r.data));
      w.EndObject();
    }
    w.Key("data_compressed");
    w.Bool(r.data_was_compressed);
  }
  if (!saved.empty()) {
    w.Key("saved");
    WriteString(w, saved);
  }
  if (!r.ok()) {
    // A malformed report: show what arrived so the fault can be seen.
    w.Key("error");
    WriteString(w, r.error);
    w.Key("marker");
    WriteString(w, r.marker);
    w.Key("text");
    WriteString(w, r.text_json);
  }
  w.EndObject();
}

}  // namespace

std::string Sha1Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out.push_back(kHex[digest[i] >> 4]);
    out.push_back(kHex[digest[i] & 0xf]);
  }
  return out;
}

std::string FormatReport(const hostlink::Report& report, bool pretty, std::string_view saved) {
  rapidjson::StringBuffer buffer;
  if (pretty) {
    rapidjson::PrettyWriter<rapidjson::StringBuffer> w(buffer);
    w.SetIndent(' ', 2);
    WriteReport(w, report, saved);
  } else {
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    WriteReport(w, report, saved);
  }
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace corvane_host
