#include "sync_classes.h"

namespace devicesim {

const std::vector<SyncClassInfo>& SyncClasses() {
  static const std::vector<SyncClassInfo> kClasses = {
      {"com.apple.Contacts", "Contacts", 106,
       {"com.apple.contacts.Contact", "com.apple.contacts.Group", "com.apple.contacts.Phone Number",
        "com.apple.contacts.Email Address", "com.apple.contacts.Street Address", "com.apple.contacts.URL",
        "com.apple.contacts.Related Name", "com.apple.contacts.IM", "com.apple.contacts.Date"}},
      {"com.apple.Calendars", "Calendars", 110,
       {"com.apple.calendars.Calendar", "com.apple.calendars.Event", "com.apple.calendars.Recurrence",
        "com.apple.calendars.DisplayAlarm"}},
      {"com.apple.Bookmarks", "Bookmarks", 106, {"com.apple.bookmarks.Folder", "com.apple.bookmarks.Bookmark"}},
      {"com.apple.Notes", "Notes", 102, {"com.apple.notes.Note"}},
  };
  return kClasses;
}

const SyncClassInfo* FindSyncClass(const std::string& name) {
  for (const SyncClassInfo& info : SyncClasses()) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

size_t EntityRank(const SyncClassInfo& info, const std::string& entity) {
  for (size_t i = 0; i < info.entities.size(); ++i) {
    if (info.entities[i] == entity) return i;
  }
  return info.entities.size();
}

bool IsOwnerField(const std::string& field) {
  return field == "contact" || field == "calendar" || field == "owner" || field == "parent";
}

bool IsLinkField(const std::string& field) { return IsOwnerField(field) || field == "members"; }

}  // namespace devicesim
