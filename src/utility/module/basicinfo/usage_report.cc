// The usage object of command 300: the battery's cycle count and storage use by category.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <map>

#include "utility/module/basicinfo/basicinfo_internal.h"

namespace basicinfo {
namespace {

// Two's-complement addition without signed overflow: the figures come from the device and may be anything.
int64_t Add(int64_t a, int64_t b) { return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); }
int64_t Subtract(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

// Adds a dictionary's own "_PhysicalSize" and "_Count" (integers only) to the totals.
void AddFigures(const PlistValue& entry, StorageFigures::Category* totals) {
  if (std::optional<int64_t> size = entry.FindInteger("_PhysicalSize")) totals->size = Add(totals->size, *size);
  if (std::optional<int64_t> count = entry.FindInteger("_Count")) totals->count = Add(totals->count, *count);
}

StorageFigures::Category Lookup(const std::map<std::string, StorageFigures::Category>& table, const char* name) {
  auto it = table.find(name);
  return it == table.end() ? StorageFigures::Category{} : it->second;
}

}  // namespace

StorageFigures EvaluateAssetMetrics(const PlistValue& params) {
  std::map<std::string, StorageFigures::Category> table;
  if (params.IsDict()) {
    for (const auto& [name, value] : params.dict()) {
      StorageFigures::Category& totals = table[name];
      if (value.IsInteger()) {
        totals.size = value.AsInt64();
      } else if (value.IsDict()) {
        AddFigures(value, &totals);
        // One level of nesting counts (for example a category's thumbnails); "_PurgeableSize" never does.
        for (const auto& [inner_name, inner] : value.dict()) {
          if (inner.IsDict()) AddFigures(inner, &totals);
        }
      }
    }
  }
  StorageFigures figures;
  figures.application = Lookup(table, "Application");
  figures.photo = Lookup(table, "Photo");
  figures.camera_roll = Lookup(table, "CameraRoll");
  figures.movie = Lookup(table, "Movie");
  figures.book = Lookup(table, "Book");
  figures.music = Lookup(table, "Music");
  figures.ringtone = Lookup(table, "Ringtone");
  figures.data_physical = Lookup(table, "_PhysicalSize").size;
  figures.data_free = Lookup(table, "_FreeSize").size;
  int64_t others = Subtract(figures.data_physical, figures.data_free);
  for (const StorageFigures::Category* category :
       {&figures.application, &figures.photo, &figures.camera_roll, &figures.movie, &figures.book, &figures.music,
        &figures.ringtone}) {
    others = Subtract(others, category->size);
  }
  figures.data_others = others;
  return figures;
}

std::string BuildUsageReport(std::optional<int64_t> cycle_count, const StorageFigures& storage) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  auto member = [&writer](const char* key, int64_t value) {
    writer.Key(key);
    writer.Int64(value);
  };
  auto category = [&member](const char* size_key, const char* count_key, const StorageFigures::Category& figures) {
    member(size_key, figures.size);
    member(count_key, figures.count);
  };
  writer.StartObject();
  if (cycle_count) member("CycleCount", *cycle_count);
  category("Application_PhysicalSize", "Application_Count", storage.application);
  category("Photo_PhysicalSize", "Photo_Count", storage.photo);
  category("CameraRoll_PhysicalSize", "CameraRoll_Count", storage.camera_roll);
  category("Movie_PhysicalSize", "Movie_Count", storage.movie);
  category("Book_PhysicalSize", "Book_Count", storage.book);
  category("Music_PhysicalSize", "Music_Count", storage.music);
  category("Ringtone_PhysicalSize", "Ringtone_Count", storage.ringtone);
  member("Data_FreeSize", storage.data_free);
  member("Data_PhysicalSize", storage.data_physical);
  member("Data_Others_PhysicalSize", storage.data_others);
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace basicinfo
