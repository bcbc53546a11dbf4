#include "utility/module/contact/contact_book.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "utility/sync/sync_records.h"

namespace {

constexpr char kContactEntity[] = "com.apple.contacts.Contact";
constexpr char kGroupEntity[] = "com.apple.contacts.Group";

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void Text(Writer& writer, const std::string& text) {
  writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

template <typename Fields>
void WriteFields(Writer& writer, const Fields& fields) {
  for (const auto& [name, text] : fields) {
    Text(writer, name);
    Text(writer, text);
  }
}

template <typename Fields>
Fields ShownFields(const PlistValue& record) {
  Fields fields;
  for (const auto& [name, value] : record.dict()) {
    if (std::optional<std::string> text = FieldText(value)) fields.emplace_back(name, std::move(*text));
  }
  return fields;
}

}  // namespace

template <typename Record>
Record& ContactBook::List<Record>::Put(const std::string& id) {
  auto [it, added] = records.try_emplace(id);
  if (added) {
    order.push_back(id);
  } else {
    it->second = Record();
  }
  return it->second;
}

void ContactBook::TakeBatch(const DeviceLinkMessage& batch) {
  ForEachRecord(batch, [this](const std::string& id, const PlistValue& record) {
    std::string entity = RecordEntity(record);
    if (entity == kContactEntity) {
      contacts_.Put(id).fields = ShownFields<Fields>(record);
    } else if (entity == kGroupEntity) {
      Group& group = groups_.Put(id);
      for (const auto& [name, value] : record.dict()) {
        if (value.IsString()) group.fields.emplace_back(name, value.Bytes());
      }
      group.members = LinkIds(record, "members");
    } else {
      TakeDetail(id, entity, record);
    }
  });
}

void ContactBook::TakeDetail(const std::string& id, const std::string& entity, const PlistValue& record) {
  Fields fields = ShownFields<Fields>(record);
  for (const std::string& owner : LinkIds(record, "contact")) {
    auto contact = contacts_.records.find(owner);
    if (contact == contacts_.records.end()) continue;
    auto& kinds = contact->second.details;
    auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const auto& entry) { return entry.first == entity; });
    if (kind == kinds.end()) kind = kinds.insert(kinds.end(), {entity, {}});
    kind->second.push_back(Detail{id, fields});
  }
}

void ContactBook::WriteContacts(const Member& member) const {
  rapidjson::StringBuffer buffer;
  for (const std::string& id : contacts_.order) {
    const Contact& contact = contacts_.records.at(id);
    buffer.Clear();
    Writer writer(buffer);
    writer.StartObject();
    WriteFields(writer, contact.fields);
    for (const auto& [entity, details] : contact.details) {
      Text(writer, entity);
      writer.StartArray();
      for (const Detail& detail : details) {
        writer.StartObject();
        writer.Key("id");
        Text(writer, detail.id);
        WriteFields(writer, detail.fields);
        writer.EndObject();
      }
      writer.EndArray();
    }
    writer.EndObject();
    member(id, std::string(buffer.GetString(), buffer.GetSize()));
  }
}

void ContactBook::WriteGroups(const Member& member) const {
  rapidjson::StringBuffer buffer;
  for (const std::string& id : groups_.order) {
    const Group& group = groups_.records.at(id);
    buffer.Clear();
    Writer writer(buffer);
    writer.StartObject();
    WriteFields(writer, group.fields);
    writer.Key("members");
    writer.StartArray();
    for (const std::string& contact : group.members) Text(writer, contact);
    writer.EndArray();
    writer.EndObject();
    member(id, std::string(buffer.GetString(), buffer.GetSize()));
  }
}
