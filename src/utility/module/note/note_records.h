// The notes of the device's "com.apple.Notes" class as the host is shown them, and the change message for a new
// or edited note.
//
// Note object: {"guid","subject","author","content","dateCreated","dateCreatedSource","dateModified",
// "dateModifiedSource","contentType","com_apple_syncservices_RecordEntityName"}, every value text: a "...Source"
// member holds the device's date as it sent it (UTC), the member without the suffix the same moment in local
// time; a missing field is "".
//
// Thread safety: one list belongs to one command; the functions are pure.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "utility/ios/device_link.h"

inline constexpr char kNoteEntity[] = "com.apple.notes.Note";

class NoteList {
 public:
  // Keeps the records of entity com.apple.notes.Note.
  void TakeBatch(const DeviceLinkMessage& batch);
  size_t size() const { return notes_.size(); }
  void Write(const std::function<void(const std::string& json)>& note) const;

 private:
  std::vector<std::pair<std::string, PlistValue>> notes_;  // id, record, in arrival order
};

std::string NoteJson(const std::string& id, const PlistValue& record);

// The record a host's note becomes: the subject, the plain-text content and both dates `utc_now`
// ("YYYY-MM-DDTHH:MM:SSZ").
PlistValue NoteRecord(std::string_view title, std::string_view content, const std::string& utc_now);
// ["SDMessageProcessChanges", "com.apple.Notes", {id: record}, false, {...}] for that record.
std::string NoteChangeMessage(std::string_view id, std::string_view title, std::string_view content,
                              std::string_view utc_now);
