#include "utility/module/media/zeb_module_media.h"

#include <glog/logging.h>

int ZEBModuleMedia::OnCommand(ZEBCommand& command) {
  switch (command.type()) {
    case protocol::kTypeMediaLibrary: return ListLibrary(command);
    case protocol::kTypeBooksAndRingtones: return ListBooksAndRingtones(command);
    case protocol::kTypeRecordings: return ListRecordings(command);
    case protocol::kTypePlaylistTracks: return ListPlaylistTracks(command);
    case protocol::kTypeAddBook: return AddBook(command);
    case protocol::kTypeRemoveBook: return RemoveBook(command);
    case protocol::kTypeMediaItems: return AcceptItems(command);
    default: return kResultOk;
  }
}

int ZEBModuleMedia::AcceptItems(ZEBCommand& command) {
  const rapidjson::Value* info = command.info();
  if (info == nullptr) return protocol::kResultBadArguments;
  auto pids = info->FindMember("item_pids");
  if (pids == info->MemberEnd() || !pids->value.IsArray()) return protocol::kResultBadArguments;
  LOG(INFO) << "Item list of " << pids->value.Size() << " items accepted";
  return kResultOk;
}
