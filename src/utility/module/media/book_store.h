// Adding and removing books on the device: the rules that keep a host's path or a device's name inside the
// book folders, the unique names of new books, and the book lists' read-modify-write.
//
// Codes of commands 1012 and 1013 (the ones not fixed elsewhere):
//   8   the parameter block is not a zlib stream of a JSON object with a "path" text
//   34  the updated book list cannot be uploaded
//   37  the book cannot be placed or removed: not a ".pdf" or ".epub", a name or path that would leave the book
//       folder, a local source that is missing or of the wrong kind, an upload, move or removal that failed
//   39  the device's book list is there but is not a property list with a "Books" array (it is left untouched)
//
// Thread safety: NewBookName may be called from any thread; the other functions are pure or use only their
// arguments.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "iOSAPI/plist_value.h"

namespace media {

inline constexpr int kBookUploadListFailed = 34;
inline constexpr int kBookNotPlaced = 37;
inline constexpr int kBookListUnreadable = 39;

enum class BookFormat { kNone, kPdf, kEpub };

// By the name's extension, compared case-insensitively.
BookFormat FormatOfBook(const std::string& name);

// The last component of a host path ("\\" or "/" separated) or of a device path.
std::string LastPathComponent(const std::string& path);

// "/Books/" + four upper-case letters + `file_name`, drawn again while `exists` says the device has it; empty when
// no free name was found in a bounded number of draws.
std::string NewBookName(const std::string& file_name, const std::function<bool(const std::string&)>& exists);

// A device book path that names a book inside "/Books/" (no "." or ".." step, nothing after a trailing "/").
bool IsBookPathInsideBooks(const std::string& path);

// The book list held in `bytes` (a property list with a "Books" array), or a new one when `bytes` is empty;
// nothing when they hold something else.
std::optional<PlistValue> BookListFrom(const std::string& bytes);

// Appends {"Name","Path","Persistent ID","Has Artwork"} to the list's "Books".
void AddBookEntry(PlistValue* list, const std::string& title, const std::string& file_name, uint64_t persistent_id);
// Removes the first entry whose "Path" is `file_name`; true when one was removed.
bool RemoveBookEntry(PlistValue* list, const std::string& file_name);

// 16 upper-case hexadecimal digits.
std::string PersistentIdText(uint64_t id);

}  // namespace media
