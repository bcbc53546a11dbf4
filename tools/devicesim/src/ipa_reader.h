// Reads what an installation needs from an application package (.ipa, a zip archive): the bundle's
// Payload/<name>.app/Info.plist (binary or XML) and the store metadata iTunesMetadata.plist at the top.
//
// Stateless functions, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "devicesim/value.h"

namespace devicesim {

struct IpaContents {
  std::string bundle_id;
  std::string app_folder;        // "Example.app"
  Value info = Value::Dict();    // Info.plist
  std::string itunes_metadata;   // the raw bytes of iTunesMetadata.plist, empty when the package has none
  uint64_t unpacked_size = 0;    // sum of the entries' uncompressed sizes
};

// False with a reason when the file is no zip archive, has no Payload/*.app/Info.plist, the Info.plist does not
// parse or lacks CFBundleIdentifier.
bool ReadIpa(const std::string& path, IpaContents* contents, std::string* error);

}  // namespace devicesim
