#include "utility/module/media/book_lists.h"

#include <algorithm>

#include "utility/zeb_utility.h"

namespace media {

namespace {

std::string StringMember(const PlistValue& dict, const char* key) {
  return dict.IsDict() ? dict.FindString(key).value_or(std::string()) : std::string();
}

int64_t NumberMember(const PlistValue& dict, const char* key) {
  const PlistValue* value = dict.IsDict() ? dict.Find(key) : nullptr;
  if (value == nullptr) return 0;
  if (value->IsInteger()) return value->AsInt64();
  if (value->IsReal()) return static_cast<int64_t>(value->AsReal());
  return 0;
}

}  // namespace

bool IsPlainRelativePath(const std::string& path) {
  if (path.empty() || path[0] == '/' || path.find('\\') != std::string::npos ||
      path.find('\0') != std::string::npos) {
    return false;
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string_view step(path.data() + start, end - start);
    if (step == ".." || step == ".") return false;
    start = end + 1;
  }
  return true;
}

void AppendListedBooks(const PlistValue& list, const std::string& folder, bool purchased,
                       const DeviceFileSize& size_of, std::vector<Book>* books) {
  const PlistValue* entries = list.IsDict() ? list.FindArray("Books") : nullptr;
  if (entries == nullptr) return;
  for (const PlistValue& entry : entries->array()) {
    std::string name = StringMember(entry, "Path");
    if (!IsPlainRelativePath(name)) continue;
    Book book;
    book.path = folder + name;
    if (!size_of(book.path, &book.size)) continue;
    book.title = StringMember(entry, "Name");
    book.artist = StringMember(entry, "Artist");
    book.genre = StringMember(entry, "Genre");
    book.purchase = purchased ? "1" : "0";
    books->push_back(std::move(book));
  }
}

void AppendListedRingtones(const PlistValue& list, const DeviceFileSize& size_of, std::vector<Ringtone>* ringtones) {
  const PlistValue* entries = list.IsDict() ? list.FindDict("Ringtones") : nullptr;
  if (entries == nullptr) return;
  for (const auto& [name, entry] : entries->dict()) {
    if (!IsPlainRelativePath(name) || name.find('/') != std::string::npos) continue;
    Ringtone ringtone;
    ringtone.path = kRingtonesFolder + name;
    if (!size_of(ringtone.path, &ringtone.size)) continue;
    ringtone.title = StringMember(entry, "Name");
    ringtone.duration_ms = static_cast<int32_t>(NumberMember(entry, "Total Time"));
    ringtones->push_back(std::move(ringtone));
  }
}

void SplitLegacyTracks(const std::vector<LegacyTrack>& tracks, const DeviceFileSize& size_of,
                       std::vector<Book>* books, std::vector<Ringtone>* ringtones) {
  for (const LegacyTrack& track : tracks) {
    if (track.kind == LegacyTrack::Kind::kOther) continue;
    std::string path = DevicePathOfLocation(track.location);
    int64_t device_size = 0;
    if (!size_of(path, &device_size)) continue;
    if (track.kind == LegacyTrack::Kind::kBook) {
      books->push_back(Book{path, track.title, track.size, track.artist, "0", track.genre});
    } else {
      ringtones->push_back(Ringtone{path, track.title, track.size, static_cast<int32_t>(track.length_ms)});
    }
  }
}

void MergeLegacyBooks(const std::vector<Book>& legacy, std::vector<Book>* books) {
  if (books->empty()) {
    books->insert(books->end(), legacy.begin(), legacy.end());
    return;
  }
  for (const Book& entry : legacy) {
    auto same = std::find_if(books->begin(), books->end(), [&entry](const Book& book) { return book.path == entry.path; });
    if (same == books->end()) {
      books->push_back(entry);
    } else if (entry.size != 0) {
      same->size = entry.size;
    }
  }
}

std::string BookJson(const Book& book) {
  return "{\"path\":" + JsonQuote(book.path) + ",\"title\":" + JsonQuote(book.title) +
         ",\"size\":" + std::to_string(book.size) + ",\"artist\":" + JsonQuote(book.artist) +
         ",\"purchase\":" + JsonQuote(book.purchase) + ",\"gene\":" + JsonQuote(book.genre) + "}";
}

std::string RingtoneJson(const Ringtone& ringtone) {
  return "{\"path\":" + JsonQuote(ringtone.path) + ",\"title\":" + JsonQuote(ringtone.title) +
         ",\"size\":" + std::to_string(ringtone.size) + ",\"duration\":" + std::to_string(ringtone.duration_ms) + "}";
}

}  // namespace media
