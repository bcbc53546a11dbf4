#include "utility/module/photo/photo_thumbnails.h"

#include <glog/logging.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cinttypes>
#include <cstdio>

namespace {

constexpr const char* kLegacyPrefixes[] = {"DCIM/", "PhotoData/Sync/", "PhotoData/CPLAssets/", "PhotoData/CMMAssets/"};
constexpr int kStopped = 6;

std::string DevicePath(const std::string& path) { return path.empty() || path[0] != '/' ? "/" + path : path; }

bool IsDecimalInteger(const std::string& text) {
  size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
  if (start == text.size() || text.size() - start > 18) return false;
  for (size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// The first candidate that downloads with content, into *bytes; its path, or "" when none does.
std::string FirstWithContent(ThumbnailDevice& device, const std::vector<std::string>& candidates, std::string* bytes) {
  for (const std::string& candidate : candidates) {
    bytes->clear();
    if (device.Download(candidate, bytes) && !bytes->empty()) return candidate;
  }
  bytes->clear();
  return std::string();
}

std::string FindThumbnail(ThumbnailDevice& device, const std::string& photo_path, std::string* bytes) {
  int64_t seconds = 0;
  std::string legacy = LegacyThumbnailPath(photo_path, 0);
  if (!legacy.empty() && device.ModifyTime(DevicePath(photo_path), &seconds)) {
    std::string found = FirstWithContent(device, {LegacyThumbnailPath(photo_path, seconds)}, bytes);
    if (!found.empty()) return found;
  }
  return FirstWithContent(device, FallbackThumbnailPaths(photo_path), bytes);
}

}  // namespace

std::string LegacyThumbnailPath(const std::string& photo_path, int64_t modify_seconds) {
  for (const char* prefix : kLegacyPrefixes) {
    size_t at = photo_path.find(prefix);
    if (at == std::string::npos) continue;
    std::string rest = photo_path.substr(at + std::string_view(prefix).size());
    std::string flat;
    for (char c : rest) flat += c == '/' ? std::string("___") : std::string(1, c);
    // A time before 1970 has no folder of its own; the remainder is taken as a non-negative number.
    char folder[32];
    std::snprintf(folder, sizeof folder, "/DCIM/.THMB/%02" PRId64, ((modify_seconds % 100) + 100) % 100);
    return std::string(folder) + "/" + flat + "." + std::to_string(modify_seconds);
  }
  return std::string();
}

std::vector<std::string> FallbackThumbnailPaths(const std::string& photo_path) {
  std::vector<std::string> candidates;
  size_t dot = photo_path.rfind('.');
  size_t slash = photo_path.rfind('/');
  bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  if (has_extension) {
    std::string stem = "/PhotoData/Metadata" + std::string(photo_path[0] == '/' ? "" : "/") +
                       photo_path.substr(0, dot + 1);
    candidates.push_back(stem + "JPG");
    candidates.push_back(stem + "THM");
  }
  candidates.push_back("/PhotoData/Thumbnails/V2" + std::string("/") + photo_path + "/5003.JPG");
  return candidates;
}

bool IsSafePhotoPath(std::string_view path) {
  if (path.empty()) return false;
  if (path.find('\0') != std::string_view::npos || path.find('\\') != std::string_view::npos) return false;
  size_t start = path[0] == '/' ? 1 : 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return true;
}

std::string ThumbnailInfo(const std::string& id, const std::string& thumbnail_path) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("id");
  if (IsDecimalInteger(id)) {
    writer.RawValue(id.data(), id.size(), rapidjson::kNumberType);
  } else {
    writer.String(id.data(), static_cast<rapidjson::SizeType>(id.size()));
  }
  writer.Key("path");
  writer.String(thumbnail_path.data(), static_cast<rapidjson::SizeType>(thumbnail_path.size()));
  writer.EndObject();
  return std::string(buffer.GetString(), buffer.GetSize());
}

int SendThumbnails(const rapidjson::Value& block, ThumbnailDevice& device, const ThumbnailSend& send,
                   const std::function<bool()>& stopped) {
  int sent = 0;
  std::string bytes;
  for (auto member = block.MemberBegin(); member != block.MemberEnd(); ++member) {
    if (stopped && stopped()) return kStopped;
    std::string id(member->name.GetString(), member->name.GetStringLength());
    std::string path = member->value.IsString()
                           ? std::string(member->value.GetString(), member->value.GetStringLength())
                           : std::string();
    if (!IsSafePhotoPath(path)) {
      LOG(ERROR) << "QueryThumbnailListFromPhotoId fail: " << path << " (refused)";
      continue;
    }
    std::string found = FindThumbnail(device, path, &bytes);
    if (found.empty()) {
      LOG(ERROR) << "QueryThumbnailListFromPhotoId fail: " << path;
      continue;
    }
    send(ThumbnailInfo(id, found), bytes);
    ++sent;
  }
  LOG(INFO) << "QueryThumbnailListFromPhotoId End Count: " << sent;
  return 0;
}
