#include "utility/module/itunes/backup_summary.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "iOSAPI/plist_message.h"
#include "utility/date_text.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const PlistValue& info, const char* key, const char* fallback = nullptr) {
  std::optional<std::string> value = info.FindString(key);
  if (!value && fallback != nullptr) value = info.FindString(fallback);
  return value.value_or(std::string());
}

void Member(rapidjson::Writer<rapidjson::StringBuffer>& writer, const char* key, const std::string& value) {
  writer.Key(key);
  writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}

}  // namespace

std::optional<PlistValue> ReadPlistDict(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::string text = bytes.str();
  PlistValue value;
  if (text.empty() || !ParseMessage(text.data(), text.size(), &value) || !value.IsDict()) return std::nullopt;
  return value;
}

bool IsListedBackup(const std::string& folder) {
  std::error_code error;
  for (const char* name : {"Info.plist", "Manifest.plist", "Status.plist"}) {
    if (!fs::is_regular_file(fs::path(folder) / name, error)) return false;
  }
  return true;
}

std::string BackupSummaryJson(const std::string& folder, std::optional<uint64_t> size) {
  std::optional<PlistValue> info = ReadPlistDict((fs::path(folder) / "Info.plist").string());
  if (!info) return std::string();
  std::optional<PlistValue> manifest = ReadPlistDict((fs::path(folder) / "Manifest.plist").string());
  const PlistValue* encrypted = manifest ? manifest->Find("IsEncrypted") : nullptr;
  std::string date;
  if (const PlistValue* when = info->Find("Last Backup Date"); when != nullptr) {
    // A date, or (in backups other programs wrote) a count from the reference date in seconds or nanoseconds.
    if (when->IsDate()) date = UtcTimeToLocalText(when->Text());
    if (when->IsInteger()) date = ReferenceDateText(when->AsInt64());
    if (when->IsReal() && std::isfinite(when->AsReal()) && std::fabs(when->AsReal()) < 9.2e18) {
      date = ReferenceDateText(static_cast<int64_t>(when->AsReal()));
    }
  }
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  Member(writer, "Product Version", Text(*info, "Product Version"));
  Member(writer, "Build Version", Text(*info, "Build Version"));
  Member(writer, "Serial Number", Text(*info, "Serial Number"));
  Member(writer, "Device Name", Text(*info, "Device Name", "Display Name"));
  Member(writer, "Unique Identifier", Text(*info, "Target Identifier", "Unique Identifier"));
  Member(writer, "Last Backup Date", date);
  Member(writer, "Product Type", Text(*info, "Product Type"));
  Member(writer, "Path", folder);
  writer.Key("IsEncrypted");
  writer.Int(encrypted != nullptr && encrypted->IsBoolean() && encrypted->AsBool() ? 1 : 0);
  if (size) {
    writer.Key("Size");
    writer.Uint64(*size);
  }
  writer.EndObject();
  return buffer.GetString();
}

uint64_t FolderSize(const std::string& folder) {
  uint64_t total = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code ignored;
    if (it->is_regular_file(ignored)) total += it->file_size(ignored);
  }
  return total;
}
