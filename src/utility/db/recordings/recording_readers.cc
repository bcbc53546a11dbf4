#include "utility/db/recordings/recording_readers.h"

#include <glog/logging.h>

#include <ctime>
#include <fstream>
#include <sstream>

#include "iOSAPI/plist_message.h"
#include "iOSAPI/plist_value.h"
#include "utility/date_text.h"
#include "utility/db/sqlite_database.h"
#include "utility/duration_text.h"
#include "utility/ios/zeb_afc.h"

namespace recordings {

const char kRecordingsSql[] =
    "select ZDURATION,ZPATH,ZCUSTOMLABEL,ZDATE from ZRECORDING WHERE ZDURATION >= 0 and ZPATH is not null order "
    "by ZDATE asc";

namespace {

constexpr char kRecordingsFolder[] = "/Recordings";
constexpr char kRecordingsPrefix[] = "/Recordings/";

// The size of a device file, or 0 when the device has no such file.
int64_t DeviceFileSize(const ZEBDeviceService& afc, const std::string& path, int64_t* modify_time = nullptr) {
  ZEBFileInfo info;
  if (!GetFileInfo(afc, path, &info)) return 0;
  if (modify_time != nullptr) *modify_time = info.modifyTime;
  return info.size;
}

std::string UnixTimeText(int64_t seconds) {
  if (seconds == 0) return std::string();
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return std::string();
  char text[32];
  if (std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local) == 0) return std::string();
  return text;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  *bytes = content.str();
  return !bytes->empty();
}

int ParseManifestFile(const std::string& local_path, PlistValue* manifest) {
  std::string bytes;
  if (!ReadWholeFile(local_path, &bytes)) {
    LOG(WARNING) << "Recording manifest " << local_path << " is empty or unreadable";
    return kManifestUnreadable;
  }
  if (!ParseMessage(bytes.data(), bytes.size(), manifest) || !manifest->IsDict()) {
    LOG(WARNING) << "Recording manifest " << local_path << " is not a property-list dictionary";
    return kManifestNotPlist;
  }
  return kReadOk;
}

std::string LabelOf(const PlistValue& entry) {
  if (!entry.IsDict()) return std::string();
  return entry.FindString("name").value_or(std::string());
}

double NumberOf(const PlistValue* value) {
  if (value == nullptr) return 0.0;
  if (value->IsReal()) return value->AsReal();
  if (value->IsInteger()) return static_cast<double>(value->AsInt64());
  return 0.0;
}

}  // namespace

std::string StoredDateText(double value) {
  if (value == 0.0 || !(value == value)) return std::string();
  if (value < 0) value = 0;
  // A count too large for 64 bits can only be nanoseconds; read as such it is a count of seconds that fits.
  if (value > 9.0e18) value /= 1e9;
  if (value > 9.0e18) return std::string();
  return ReferenceDateText(static_cast<int64_t>(value));
}

int ReadRecordingsDatabase(const std::string& local_path, std::string_view sql, int source,
                           const ZEBDeviceService* afc, RecordingCollection* result) {
  SqliteDatabase db;
  if (int code = db.Open(local_path); code != kDbOk) return code;
  SqliteStatement row;
  if (int code = db.Prepare(sql, &row); code != kDbOk) return code;
  while (row.Step()) {
    std::string stored = row.Text(1);
    size_t at = stored.find(kRecordingsPrefix);
    if (at == std::string::npos) continue;
    Recording recording;
    recording.path = stored.substr(at);
    if (result->Contains(recording.path)) continue;
    if (afc != nullptr) {
      recording.size = DeviceFileSize(*afc, recording.path);
      if (recording.size <= 0) continue;
    }
    recording.label = row.Text(2);
    recording.duration_int = row.Double(0);
    recording.duration = DurationText(recording.duration_int);
    recording.date_int = row.Double(3);
    recording.date = StoredDateText(recording.date_int);
    recording.source = source;
    result->Add(std::move(recording));
  }
  return kReadOk;
}

int ReadAssetManifest(const std::string& local_path, const ZEBDeviceService& afc, RecordingCollection* result) {
  PlistValue manifest;
  if (int code = ParseManifestFile(local_path, &manifest); code != kReadOk) return code;
  for (const auto& [name, entry] : manifest.dict()) {
    Recording recording;
    recording.path = kRecordingsPrefix + name;
    if (result->Contains(recording.path)) continue;
    int64_t modified = 0;
    recording.size = DeviceFileSize(afc, recording.path, &modified);
    if (recording.size <= 0) continue;
    recording.label = LabelOf(entry);
    recording.date_int = static_cast<double>(modified);
    recording.date = UnixTimeText(modified);
    recording.source = kAssetManifest;
    result->Add(std::move(recording));
  }
  return kReadOk;
}

int ReadAssetManifest(const std::string& local_path, RecordingCollection* result) {
  PlistValue manifest;
  if (int code = ParseManifestFile(local_path, &manifest); code != kReadOk) return code;
  for (const auto& [name, entry] : manifest.dict()) {
    Recording recording;
    recording.path = kRecordingsPrefix + name;
    recording.label = LabelOf(entry);
    recording.source = kAssetManifest;
    result->Add(std::move(recording));
  }
  return kReadOk;
}

bool ParseCompositionManifest(std::string_view bytes, CompositionManifest* manifest) {
  PlistValue root;
  if (bytes.empty() || !ParseMessage(bytes.data(), bytes.size(), &root) || !root.IsDict()) return false;
  std::string url = root.FindString("RCComposedAVURL").value_or(std::string());
  size_t at = url.find(kRecordingsFolder);
  if (at == std::string::npos) return false;
  manifest->path = url.substr(at);
  manifest->title = root.FindString("RCSavedRecordingTitle").value_or(std::string());
  manifest->creation_time = NumberOf(root.Find("RCSavedRecordingCreationTime"));
  manifest->date.clear();
  if (const PlistValue* date = root.Find("RCSavedRecordingCreationDate"); date != nullptr) {
    std::string text = date->Text();
    if (IsUtcTimeText(text)) manifest->date = UtcTimeToLocalText(text);
  }
  if (manifest->date.empty()) manifest->date = StoredDateText(manifest->creation_time);
  return true;
}

int ReadCompositions(const ZEBDeviceService& afc, RecordingCollection* result) {
  std::vector<std::string> names;
  if (!ListDirectory(afc, kRecordingsFolder, &names)) {
    LOG(WARNING) << "The device folder " << kRecordingsFolder << " cannot be read";
    return kRecordingsFolderUnreadable;
  }
  constexpr std::string_view kSuffix = ".composition";
  for (const std::string& name : names) {
    if (!IsSafeEntryName(name) || name.size() < kSuffix.size() ||
        name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
      continue;
    }
    std::string folder = kRecordingsPrefix + name;
    ZEBFileInfo info;
    if (!GetFileInfo(afc, folder, &info) || !info.IsDirectory()) continue;
    std::string bytes;
    CompositionManifest manifest;
    if (!DownloadFileToMemory(afc, folder + "/manifest.plist", &bytes) ||
        !ParseCompositionManifest(bytes, &manifest)) {
      continue;
    }
    ZEBFileInfo audio;
    if (!GetFileInfo(afc, manifest.path, &audio)) continue;
    if (Recording* known = result->Find(manifest.path)) {
      known->date_int = manifest.creation_time;
      known->date = manifest.date;
      continue;
    }
    Recording recording;
    recording.path = manifest.path;
    recording.size = audio.size;
    recording.label = manifest.title;
    recording.date_int = manifest.creation_time;
    recording.date = manifest.date;
    recording.source = kComposition;
    result->Add(std::move(recording));
  }
  return kReadOk;
}

}  // namespace recordings
