#include "utility/module/bookmark/zeb_module_bookmark.h"

#include <memory>

#include "iOSAPI/plist_message.h"
#include "utility/listing/listing_reporter.h"
#include "utility/module/bookmark/bookmark_tree.h"
#include "utility/module/sync_command.h"
#include "utility/sync/sync_listing.h"

namespace {

using namespace protocol;

int List(ZEBCommand& command) {
  int result = kResultOk;
  std::unique_ptr<SyncSession> session = StartSyncSession(command, kSyncBookmarks, &result);
  if (!session) return result;
  BookmarkTree tree;
  result = session->ReadAll([&tree](const DeviceLinkMessage& batch) { tree.TakeBatch(batch); });
  if (result == kResultOk) result = session->Finish();
  if (result != kResultOk) return result;
  session.reset();
  ListingReporter reporter(command.uuid(), {.shape = ListingOptions::Shape::kEach, .count_on_items = true},
                           [&command](const TaskReport& report) { command.SendProgress(report); });
  reporter.SendCount(ListedCount(*command.device(), kSyncBookmarks, tree.node_count()));
  tree.WriteRoots([&reporter](const std::string& json) { reporter.Add(json); });
  reporter.Finish();
  return kResultOk;
}

int Save(ZEBCommand& command) {
  std::string message(command.data());
  while (!message.empty() && message.back() == '\0') message.pop_back();
  if (message.empty() || !MakeMessage(message)) return kResultBadArguments;
  int result = kResultOk;
  std::unique_ptr<SyncSession> session = StartSyncChanges(command, kSyncBookmarks, &result);
  if (!session) return result;
  DeviceLinkMessage reply;
  result = session->SendChanges(message, &reply);
  if (result != kResultOk) return result;
  return session->Finish();
}

}  // namespace

int ZEBModuleBookmark::OnCommand(ZEBCommand& command) {
  switch (command.type()) {
    case kTypeBookmarkList:
      return ListAndRelease(command, List);
    case kTypeBookmarkSave:
      return Save(command);
    case kTypeBookmarkDelete:
      return DeleteSyncRecord(command, kSyncBookmarksDelete);
    default:
      return kResultOk;
  }
}
