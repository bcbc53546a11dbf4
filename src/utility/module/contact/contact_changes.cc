#include "utility/module/contact/contact_changes.h"

#include "utility/sync/sync_messages.h"

std::string GroupChangeMessage(std::string_view key, std::string_view name, const std::vector<std::string>* members) {
  std::string record =
      "<key>com.apple.syncservices.RecordEntityName</key><string>com.apple.contacts.Group</string>"
      "<key>name</key><string>" +
      XmlEscape(name) + "</string>";
  if (members != nullptr) {
    record += "<key>members</key><array>";
    for (const std::string& member : *members) record += "<string>" + XmlEscape(member) + "</string>";
    record += "</array>";
  }
  return PlistFrame(
      "<array><string>SDMessageProcessChanges</string><string>com.apple.Contacts</string><dict><key>" + XmlEscape(key) +
      "</key><dict>" + record +
      "</dict></dict><true/><dict><key>SyncDeviceLinkEntityNamesKey</key><array><string>com.apple.contacts.Contact"
      "</string><string>com.apple.contacts.Group</string></array><key>SyncDeviceLinkAllRecordsOfPulledEntityTypeSent"
      "Key</key><true/></dict></array>");
}
