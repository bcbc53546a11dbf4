#include "utility/module/note/note_records.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "utility/date_text.h"
#include "utility/sync/sync_messages.h"
#include "utility/sync/sync_records.h"

using Writer = RecordWriter;

void NoteList::TakeBatch(const DeviceLinkMessage& batch) {
  ForEachRecord(batch, [this](const std::string& id, const PlistValue& record) {
    if (RecordEntity(record) == kNoteEntity) notes_.emplace_back(id, record);
  });
}

void NoteList::Write(const std::function<void(const std::string& json)>& note) const {
  for (const auto& [id, record] : notes_) note(NoteJson(id, record));
}

std::string NoteJson(const std::string& id, const PlistValue& record) {
  rapidjson::StringBuffer buffer;
  Writer writer(buffer);
  writer.StartObject();
  PutText(writer, "guid", id);
  for (const char* field : {"subject", "author", "content"}) PutText(writer, field, RawFieldText(record.Find(field)));
  for (const char* field : {"dateCreated", "dateModified"}) {
    std::string source = RawFieldText(record.Find(field));
    PutText(writer, field, UtcTimeToLocalText(source));
    PutText(writer, (std::string(field) + "Source").c_str(), source);
  }
  PutText(writer, "contentType", RawFieldText(record.Find("contentType")));
  PutText(writer, "com_apple_syncservices_RecordEntityName", RecordEntity(record));
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

PlistValue NoteRecord(std::string_view title, std::string_view content, const std::string& utc_now) {
  return PlistValue::MakeDict({{kRecordEntityField, PlistValue::String(kNoteEntity)},
                               {"contentType", PlistValue::String("text/plain")},
                               {"dateCreated", PlistValue::Date(utc_now)},
                               {"dateModified", PlistValue::Date(utc_now)},
                               {"subject", PlistValue::String(std::string(title))},
                               {"content", PlistValue::String(std::string(content))}});
}

std::string NoteChangeMessage(std::string_view id, std::string_view title, std::string_view content,
                              std::string_view utc_now) {
  std::string now = XmlEscape(utc_now);
  return PlistFrame(
      "<array><string>SDMessageProcessChanges</string><string>com.apple.Notes</string><dict><key>" + XmlEscape(id) +
      "</key><dict><key>com.apple.syncservices.RecordEntityName</key><string>com.apple.notes.Note</string>"
      "<key>contentType</key><string>text/plain</string><key>dateCreated</key><date>" +
      now + "</date><key>dateModified</key><date>" + now + "</date><key>subject</key><string>" + XmlEscape(title) +
      "</string><key>content</key><string>" + XmlEscape(content) +
      "</string></dict></dict><false/><dict><key>SyncDeviceLinkEntityNamesKey</key><array><string>"
      "com.apple.notes.Note</string></array><key>SyncDeviceLinkAllRecordsOfPulledEntityTypeSentKey</key><true/>"
      "</dict></array>");
}
