// Info.plist of a backup folder: the only file the computer writes into a backup on its own, describing the
// device, its applications and the media-library files the device holds.
//
// BuildInfoPlist is pure (tests give it the sources); CollectInfoPlistSources reads them from the device:
// lockdown values, the user applications with their SINF, store metadata and icon (installation proxy and
// springboard services; either may be missing), the iTunes files under /iTunes_Control/iTunes/ and
// /Books/iBooksData2.plist over the file service.
//
// Thread safety: pure / one device command's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "iOSAPI/plist_value.h"

class ZEBDeviceConnection;
class ZEBDeviceService;

struct BackupAppEntry {
  std::string bundle_id;
  std::optional<PlistValue> sinf;       // "ApplicationSINF"
  std::optional<PlistValue> metadata;   // "iTunesMetadata"
  std::string icon_png;                 // "PlaceholderIcon", empty when none
};

struct InfoPlistSources {
  std::function<std::optional<PlistValue>(const char* key)> value;  // the device's lockdown value
  std::vector<BackupAppEntry> apps;
  std::vector<std::pair<std::string, std::string>> itunes_files;  // name -> content, in the fixed order
  std::optional<std::string> ibooks_data;
  int64_t now = 0;  // seconds since 1970
};

// The names read from the device folder /iTunes_Control/iTunes/, in this order.
extern const char* const kITunesFileNames[12];

PlistValue BuildInfoPlist(const InfoPlistSources& sources);
// 32 characters of "ABCDEF0123456789" from a generator seeded with `seed`.
std::string BackupGuid(uint32_t seed);

// Reads the sources from the device; `afc` may be null (nothing is read over the file service then). The sources'
// value reader asks `device`, which must outlive them.
InfoPlistSources CollectInfoPlistSources(const ZEBDeviceConnection& device, const ZEBDeviceService* afc);

// Writes the binary Info.plist into `folder` (by a new file moved into place); false on failure.
bool WriteInfoPlist(const PlistValue& info, const std::string& folder);
