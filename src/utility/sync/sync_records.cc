#include "utility/sync/sync_records.h"

#include <cstdio>

#include "utility/date_text.h"

void ForEachRecord(const DeviceLinkMessage& batch, const RecordVisitor& visit) {
  for (const PlistValue& element : batch.value.array()) {
    if (!element.IsDict()) continue;
    for (const auto& [id, record] : element.dict()) {
      if (record.IsDict()) visit(id, record);
    }
  }
}

std::string RecordEntity(const PlistValue& record) { return record.FindString(kRecordEntityField).value_or(""); }

std::optional<std::string> FieldText(const PlistValue& value) {
  switch (value.kind()) {
    case PlistValue::Kind::kString:
      if (IsUtcTimeText(value.Bytes())) return UtcTimeToLocalText(value.Bytes());
      return value.Bytes();
    case PlistValue::Kind::kInteger:
      return std::to_string(value.AsInt64());
    case PlistValue::Kind::kDate:
      return UtcTimeToLocalText(value.Text());
    default:
      return std::nullopt;
  }
}

std::string RawFieldText(const PlistValue* value) {
  if (value == nullptr) return std::string();
  switch (value->kind()) {
    case PlistValue::Kind::kString:
      return value->Bytes();
    case PlistValue::Kind::kDate:
      return value->Text();
    case PlistValue::Kind::kInteger:
      return std::to_string(value->AsInt64());
    case PlistValue::Kind::kBoolean:
      return value->AsBool() ? "true" : "false";
    case PlistValue::Kind::kReal: {
      char text[32];
      std::snprintf(text, sizeof text, "%.15g", value->AsReal());
      return text;
    }
    default:
      return std::string();
  }
}

std::vector<std::string> LinkIds(const PlistValue& record, const char* field) {
  std::vector<std::string> ids;
  const PlistValue* links = record.FindArray(field);
  if (links == nullptr) return ids;
  for (const PlistValue& id : links->array()) {
    if (id.IsString()) ids.push_back(id.Bytes());
  }
  return ids;
}

void PutText(RecordWriter& writer, const char* name, const std::string& text) {
  writer.Key(name);
  writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}
