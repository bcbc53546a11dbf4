// Commands 1012 (add a book) and 1013 (remove a book).
#include <glog/logging.h>

#include <filesystem>
#include <fstream>
#include <random>

#include <rapidjson/document.h>

#include "iOSAPI/plist_message.h"
#include "utility/db/device_snapshot.h"
#include "utility/ios/zeb_afc.h"
#include "utility/ios/zeb_device_service.h"
#include "utility/module/media/book_lists.h"
#include "utility/module/media/book_store.h"
#include "utility/module/media/media_reports.h"
#include "utility/module/media/zeb_module_media.h"
#include "utility/zeb_utility.h"

namespace media {

bool ReadLocalFile(const std::string& path, std::string* bytes);  // media_books.cc

namespace {

constexpr size_t kMaxParameterBlock = 1024 * 1024;

struct BookRequest {
  std::string path;
  bool remote = false;
};

// The zlib-compressed JSON object after the command's JSON text.
bool ReadBookRequest(const ZEBCommand& command, BookRequest* request) {
  std::string text;
  if (!ZlibDecompress(command.data(), &text, kMaxParameterBlock)) return false;
  rapidjson::Document block;
  block.Parse(text.c_str(), text.size());
  if (block.HasParseError() || !block.IsObject()) return false;
  auto path = block.FindMember("path");
  if (path == block.MemberEnd() || !path->value.IsString() || path->value.GetStringLength() == 0) return false;
  request->path = path->value.GetString();
  auto remote = block.FindMember("remote");
  request->remote = remote != block.MemberEnd() && remote->value.IsBool() && remote->value.GetBool();
  return true;
}

// Writes the list over its local copy and uploads it to the device. 0 or 34.
int SaveBookList(const ZEBDeviceService& afc, const PlistValue& list, const std::string& local_path,
                 const std::string& device_path) {
  std::optional<std::string> xml = SerializePlist(list, PlistFormat::kXml);
  if (!xml) return kBookUploadListFailed;
  {
    std::ofstream out(local_path, std::ios::binary | std::ios::trunc);
    out << *xml;
    if (!out.flush()) return kBookUploadListFailed;
  }
  if (!UploadFile(afc, local_path, device_path)) {
    LOG(ERROR) << "The book list " << device_path << " cannot be uploaded";
    return kBookUploadListFailed;
  }
  return 0;
}

// The device's current list (through a new snapshot), or a new one when the device has none. 0 or 39.
int ReadBookList(ZEBDeviceConnection& record, const ZEBDeviceService& afc, Snapshot snapshot, SnapshotRole role,
                 PlistValue* list) {
  std::string bytes;
  // A list that could not be copied is a list the device does not have: the local file may be an older copy.
  if (TakeSnapshot(record, afc, snapshot)) ReadLocalFile(record.SnapshotPath(role), &bytes);
  std::optional<PlistValue> parsed = BookListFrom(bytes);
  if (!parsed) {
    LOG(ERROR) << "The device's book list is not a list of books; it is left as it is";
    return kBookListUnreadable;
  }
  *list = std::move(*parsed);
  return 0;
}

uint64_t NewPersistentId() {
  static std::mutex mutex;
  static std::mt19937_64 generator{std::random_device{}()};
  std::lock_guard<std::mutex> lock(mutex);
  return generator();
}

// Copies the book to `target`: an upload of a local file or folder, or a move of a device file.
bool PlaceBook(const ZEBDeviceService& afc, const BookRequest& request, BookFormat format, const std::string& target) {
  if (request.remote) return RenamePath(afc, request.path, target);
  std::error_code error;
  if (format == BookFormat::kPdf) {
    return std::filesystem::is_regular_file(request.path, error) && UploadFile(afc, request.path, target);
  }
  return std::filesystem::is_directory(request.path, error) && UploadTree(afc, request.path, target);
}

// Takes a placed book away again after a later step failed.
void UnplaceBook(const ZEBDeviceService& afc, const BookRequest& request, const std::string& target) {
  if (request.remote) {
    RenamePath(afc, target, request.path);
  } else {
    RemoveTree(afc, target, /*remove_top=*/true);
  }
}

}  // namespace

}  // namespace media

int ZEBModuleMedia::AddBook(ZEBCommand& command) {
  using namespace media;
  BookRequest request;
  if (!ReadBookRequest(command, &request)) return protocol::kResultBadArguments;
  ZEBDeviceConnection& record = *command.device();
  int error = 0;
  ZEBDeviceServicePtr service = StartService(record, kServiceAfc, &error, {}, true);
  if (!service) return protocol::kResultNoFileService;
  const ZEBDeviceService& afc = *service;

  std::string file_name = LastPathComponent(request.path);
  BookFormat format = FormatOfBook(file_name);
  if (format == BookFormat::kNone || !IsSafeEntryName(file_name) || (request.remote && request.path[0] != '/')) {
    LOG(ERROR) << "Not a book that can be added: " << request.path;
    return kBookNotPlaced;
  }
  std::string target = NewBookName(file_name, [&afc](const std::string& path) {
    ZEBFileInfo info;
    return GetFileInfo(afc, path, &info);
  });
  // A device that never had a book has no book folder yet.
  if (target.empty() || MakeDirectory(afc, "/Books") != 1 || !PlaceBook(afc, request, format, target)) {
    LOG(ERROR) << "The book " << request.path << " cannot be placed at " << target;
    if (!target.empty() && !request.remote) RemoveTree(afc, target, /*remove_top=*/true);
    return kBookNotPlaced;
  }

  std::string title = file_name.substr(0, file_name.rfind('.'));
  std::string list_name = LastPathComponent(target);
  {
    // Held over the list's read, change and upload, so that two books added at once both stay in the list.
    std::lock_guard<std::mutex> lock(mutex_);
    PlistValue list;
    int code = ReadBookList(record, afc, Snapshot::kBooks, SnapshotRole::kBookList, &list);
    if (code == 0) {
      AddBookEntry(&list, title, list_name, NewPersistentId());
      code = SaveBookList(afc, list, record.SnapshotPath(SnapshotRole::kBookList), "/Books/Books.plist");
    }
    if (code != 0) {
      UnplaceBook(afc, request, target);
      return code;
    }
  }

  Book book{target, title, 0, "", "0", ""};
  ZEBFileInfo info;
  if (GetFileInfo(afc, target, &info)) book.size = info.size;
  MediaSender(command).SendItems(kReportAddedBook, "[" + BookJson(book) + "]");
  return kResultOk;
}

int ZEBModuleMedia::RemoveBook(ZEBCommand& command) {
  using namespace media;
  BookRequest request;
  if (!ReadBookRequest(command, &request)) return protocol::kResultBadArguments;
  ZEBDeviceConnection& record = *command.device();
  int error = 0;
  ZEBDeviceServicePtr service = StartService(record, kServiceAfc, &error, {}, true);
  if (!service) return protocol::kResultNoFileService;
  const ZEBDeviceService& afc = *service;

  const std::string& path = request.path;
  // Only a book inside the book folders is ever removed: "/Books/../DCIM" names the photos.
  if (!IsBookPathInsideBooks(path)) {
    LOG(ERROR) << "Not a book path: " << path;
    return kBookNotPlaced;
  }
  bool purchased = path.rfind(kPurchasesFolder, 0) == 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Snapshot snapshot = purchased ? Snapshot::kPurchasedBooks : Snapshot::kBooks;
    SnapshotRole role = purchased ? SnapshotRole::kPurchasedBookList : SnapshotRole::kBookList;
    PlistValue list;
    if (int code = ReadBookList(record, afc, snapshot, role, &list); code != 0) return code;
    if (RemoveBookEntry(&list, LastPathComponent(path))) {
      std::string device_list = purchased ? "/Books/Purchases/Purchases.plist" : "/Books/Books.plist";
      if (int code = SaveBookList(afc, list, record.SnapshotPath(role), device_list); code != 0) return code;
    }
  }
  BookFormat format = FormatOfBook(path);
  bool removed = format == BookFormat::kPdf    ? RemovePath(afc, path)
                 : format == BookFormat::kEpub ? RemoveTree(afc, path, /*remove_top=*/true)
                                               : true;
  if (!removed) {
    LOG(ERROR) << "The book " << path << " cannot be removed";
    return kBookNotPlaced;
  }
  return kResultOk;
}
