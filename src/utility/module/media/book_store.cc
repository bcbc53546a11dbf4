#include "utility/module/media/book_store.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>

#include "iOSAPI/plist_message.h"
#include "utility/module/media/book_lists.h"

namespace media {

namespace {

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// Enough draws that a full folder is the only reason to give up: 26^4 names exist.
constexpr int kMaxNameDraws = 1000;

}  // namespace

BookFormat FormatOfBook(const std::string& name) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return BookFormat::kNone;
  std::string extension = Upper(name.substr(dot + 1));
  if (extension == "PDF") return BookFormat::kPdf;
  if (extension == "EPUB") return BookFormat::kEpub;
  return BookFormat::kNone;
}

std::string LastPathComponent(const std::string& path) {
  std::string trimmed = path;
  while (!trimmed.empty() && (trimmed.back() == '/' || trimmed.back() == '\\')) trimmed.pop_back();
  size_t slash = trimmed.find_last_of("/\\");
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string NewBookName(const std::string& file_name, const std::function<bool(const std::string&)>& exists) {
  static std::mutex mutex;
  static std::mt19937 generator(
      static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
  for (int draw = 0; draw < kMaxNameDraws; ++draw) {
    std::string name;
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (int i = 0; i < 4; ++i) name += static_cast<char>('A' + generator() % 26);
    }
    std::string path = kBooksFolder + name + file_name;
    if (!exists(path)) return path;
  }
  return std::string();
}

bool IsBookPathInsideBooks(const std::string& path) {
  if (path.rfind(kBooksFolder, 0) != 0) return false;
  std::string rest = path.substr(std::char_traits<char>::length(kBooksFolder));
  return IsPlainRelativePath(rest) && rest.back() != '/' && rest.find("//") == std::string::npos;
}

std::optional<PlistValue> BookListFrom(const std::string& bytes) {
  if (bytes.empty()) return PlistValue::MakeDict({{"Books", PlistValue::MakeArray()}});
  PlistValue list;
  if (!ParseMessage(bytes.data(), bytes.size(), &list) || !list.IsDict()) return std::nullopt;
  const PlistValue* books = list.Find("Books");
  if (books == nullptr) {
    list.dict()["Books"] = PlistValue::MakeArray();
  } else if (!books->IsArray()) {
    return std::nullopt;
  }
  return list;
}

std::string PersistentIdText(uint64_t id) {
  char text[24];
  std::snprintf(text, sizeof(text), "%016llX", static_cast<unsigned long long>(id));
  return text;
}

void AddBookEntry(PlistValue* list, const std::string& title, const std::string& file_name, uint64_t persistent_id) {
  list->dict()["Books"].array().push_back(PlistValue::MakeDict({
      {"Name", PlistValue::String(title)},
      {"Path", PlistValue::String(file_name)},
      {"Persistent ID", PlistValue::String(PersistentIdText(persistent_id))},
      {"Has Artwork", PlistValue::Boolean(false)},
  }));
}

bool RemoveBookEntry(PlistValue* list, const std::string& file_name) {
  PlistValue::Array& books = list->dict()["Books"].array();
  for (auto it = books.begin(); it != books.end(); ++it) {
    if (it->IsDict() && it->FindString("Path").value_or(std::string()) == file_name) {
      books.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace media
