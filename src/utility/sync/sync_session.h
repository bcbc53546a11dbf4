// SyncSession: one session with the device's synchronisation service ("com.apple.mobilesync") for one data
// class, shared by the contacts, calendars, bookmarks and notes modules.
//
// A session opens its own service connection, announces itself as a fresh computer (the current local time as
// its anchor, nothing stored between sessions), and then runs one of two shapes:
//   read:   Open, ReadAll (every record batch, each acknowledged), Finish;
//   change: Open, DrainChanges (the device's changes, acknowledged and dropped), SendChanges (once per change
//           message, each answered with the device's identifier map), Finish.
// With a fresh anchor the device always syncs slowly, so "get changes" brings every record, in as many batches
// as the device likes: both reads and drains acknowledge batch after batch until the device says it is ready to
// receive changes, never a fixed number of times.
//
// Every step returns 0, kResultSyncFailed (13: the service cannot be started, the device refused the class or
// cancelled, the connection broke, a message is not the one the step needs, or the device stayed silent past
// the time limit) or kResultAborted (6: the host stopped the task; a wait for the device notices it within half
// a second). After a failure the session is over: every later step fails at once, so a broken exchange can
// never pass for a finished one. The service connection is released when the session is destroyed.
//
// Thread safety: a session belongs to the one command thread that runs it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "utility/ios/device_link.h"
#include "utility/ios/zeb_device_connection.h"

struct SyncDataClass {
  const char* name;         // "com.apple.Contacts"
  const char* anchor_name;  // sent in the sync request
  int64_t version;          // sent in the sync request
  const char* short_name;   // the entry in the device's data-sync settings
  const char* ping_text;    // the ping's second element
};

inline constexpr SyncDataClass kSyncContacts{"com.apple.Contacts", "Contacts-Device-Anchor", 106, "Contacts",
                                             "com.apple.Contacts"};
inline constexpr SyncDataClass kSyncCalendars{"com.apple.Calendars", "Calendars-Device-Anchor", 110, "Calendars",
                                              "Preparing to get changes for device"};
inline constexpr SyncDataClass kSyncBookmarks{"com.apple.Bookmarks", "Bookmarks-Device-Anchor", 102, "Bookmarks",
                                              "com.apple.Bookmarks"};
// Deleting bookmarks announces a later class version.
inline constexpr SyncDataClass kSyncBookmarksDelete{"com.apple.Bookmarks", "Bookmarks-Device-Anchor", 106, "Bookmarks",
                                                    "com.apple.Bookmarks"};
inline constexpr SyncDataClass kSyncNotes{"com.apple.Notes", "Notes-Device-Anchor", 102, "Notes", "com.apple.Notes"};

class SyncSession {
 public:
  using Batch = std::function<void(const DeviceLinkMessage& batch)>;
  using Stopped = std::function<bool()>;

  static constexpr unsigned kOpeningTimeoutMs = 15000;  // the device answers the opening at once when it is alive
  static constexpr unsigned kMessageTimeoutMs = 60000;  // a batch may take the device a while to assemble
  static constexpr unsigned kStopCheckMs = 500;         // how often a wait looks for the host's stop request

  // A session on a channel already connected to the service (tests hand in their own).
  SyncSession(const SyncDataClass& data_class, std::unique_ptr<DeviceLinkChannel> channel, Stopped stopped = {});

  // Starts the service on `device` and opens the session; null with *result set when either fails.
  static std::unique_ptr<SyncSession> Start(const ZEBDeviceConnection& device, const SyncDataClass& data_class,
                                            Stopped stopped, int* result);

  // The version exchange (until DLMessageDeviceReady) and the sync request, which the device must accept.
  int Open();
  // Asks for every record and hands each batch to `batch`, acknowledging each, until the device is ready to
  // receive changes.
  int ReadAll(const Batch& batch);
  // Asks for the device's changes, acknowledges every batch (handing it to `batch` when given), and pings once
  // the device is ready to receive the computer's changes.
  int DrainChanges(const Batch& batch = nullptr);
  // Sends one change message (XML text) and takes the device's answer, which must be its identifier map.
  int SendChanges(std::string_view xml, DeviceLinkMessage* reply);
  // Ends the session; the device must confirm.
  int Finish();

 private:
  // The device's next message within the message time limit; ends early (kTimedOut) when the host stops.
  DeviceLinkCode NextMessage(DeviceLinkMessage* message);
  int Fail(std::string_view step, DeviceLinkCode code);
  int Fail(std::string_view step, const DeviceLinkMessage& message);
  int AcknowledgeUntilReady(std::string_view request, const Batch& batch);

  const SyncDataClass data_class_;
  DeviceLink link_;
  Stopped stopped_;
  bool broken_ = false;
  bool stopped_by_host_ = false;
};

// The identifier map in the device's answer to a change message: every string-valued member of its dictionaries
// (the computer's identifier -> the device's).
std::map<std::string, std::string> RemappedIdentifiers(const DeviceLinkMessage& reply);
