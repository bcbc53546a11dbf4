// Reading the records out of the device's change batches, and the texts the host is shown for record fields.
//
// A batch is ["SDMessageProcessChanges", class, {id: record, ...}, more?, {...}]: every dictionary-valued member
// of every dictionary element of the array is one record, its key the record identifier, its entity named by
// "com.apple.syncservices.RecordEntityName". Link fields ("contact", "calendar", "owner", "parent", "members")
// are arrays of record identifiers.
//
// Thread safety: pure functions.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "utility/ios/device_link.h"

inline constexpr char kRecordEntityField[] = "com.apple.syncservices.RecordEntityName";

using RecordVisitor = std::function<void(const std::string& id, const PlistValue& record)>;
void ForEachRecord(const DeviceLinkMessage& batch, const RecordVisitor& visit);

// The record's entity name ("" when it has none).
std::string RecordEntity(const PlistValue& record);

// The text the host is shown for a field: a string as it is, except that a whole "YYYY-MM-DDTHH:MM:SSZ" becomes
// that moment's local text ("" when it names no valid moment); an integer in decimal; a date as local text.
// Nothing for other kinds.
std::optional<std::string> FieldText(const PlistValue& value);
// The device's own text of a field: strings as they are, dates as their UTC text, integers in decimal, booleans
// "true"/"false", reals in their shortest form; "" for the rest and for a missing field.
std::string RawFieldText(const PlistValue* value);
// The record identifiers of a link field (strings only); empty when the field is missing or not an array.
std::vector<std::string> LinkIds(const PlistValue& record, const char* field);

// Writes the member `name` with a text value, as every record object the host is shown is built.
using RecordWriter = rapidjson::Writer<rapidjson::StringBuffer>;
void PutText(RecordWriter& writer, const char* name, const std::string& text);
