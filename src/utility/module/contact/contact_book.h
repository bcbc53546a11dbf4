// ContactBook: the contacts and groups of a read session, collected batch by batch and written out as the JSON
// the host is shown.
//
// A contact is every string, integer and date field of its record (dates and UTC time texts as local text, see
// sync_records.h), then one member per detail entity ("com.apple.contacts.Phone Number", ...) holding an array
// of detail objects {"id": detail id, field: text, ...}. A detail belongs to each contact its "contact" field
// names that is already in the book; the device sends owners before the records that link to them, and a detail
// of an unknown contact is dropped. A group is its string fields and "members", the array of its contacts'
// identifiers. A record sent again replaces the earlier one in its place.
//
// Thread safety: one book belongs to one command.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "utility/ios/device_link.h"

class ContactBook {
 public:
  using Member = std::function<void(const std::string& id, const std::string& json)>;

  void TakeBatch(const DeviceLinkMessage& batch);

  size_t contact_count() const { return contacts_.size(); }
  size_t group_count() const { return groups_.size(); }
  // Each contact (group) as its identifier and JSON object text, in the order they first arrived.
  void WriteContacts(const Member& member) const;
  void WriteGroups(const Member& member) const;

 private:
  using Fields = std::vector<std::pair<std::string, std::string>>;  // name, text
  struct Detail {
    std::string id;
    Fields fields;
  };
  struct Contact {
    Fields fields;
    std::vector<std::pair<std::string, std::vector<Detail>>> details;  // by entity, in arrival order
  };
  struct Group {
    Fields fields;
    std::vector<std::string> members;
  };
  template <typename Record>
  struct List {
    std::vector<std::string> order;
    std::unordered_map<std::string, Record> records;
    size_t size() const { return order.size(); }
    Record& Put(const std::string& id);
  };

  void TakeDetail(const std::string& id, const std::string& entity, const PlistValue& record);

  List<Contact> contacts_;
  List<Group> groups_;
};
