// Writes application packages (.ipa zip archives) for tests of installation: Payload/<Name>.app/Info.plist
// (binary or XML), an executable placeholder, optional iTunesMetadata.plist and extra members.
//
// WriteLargeIpa writes packages of many gigabytes without filling the disk: a stored zip64 archive whose big
// member is a hole in a sparse file (it reads as zeros and takes no blocks on file systems with holes).
//
// Stateless; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devicesim/value.h"

namespace devicesim {

struct IpaSpec {
  std::string bundle_id{};
  std::string executable = "App";   // CFBundleExecutable and the .app folder name
  std::string display_name{};         // CFBundleDisplayName; left out when empty
  std::string short_version = "1.0";
  std::string version = "1";
  bool binary_info_plist = true;    // Info.plist as a binary plist, else XML
  std::optional<Value> itunes_metadata{};  // a dictionary written as iTunesMetadata.plist
  std::vector<std::pair<std::string, std::string>> extra_members{};  // archive path -> content
};

bool WriteIpa(const std::string& path, const IpaSpec& spec, std::string* error);

struct LargeIpaSpec {
  IpaSpec app{};                       // extra_members are not written
  uint64_t payload_bytes = 0;          // the size of Payload/<Name>.app/Assets.car, all zeros
  bool plists_after_payload = false;   // Info.plist and iTunesMetadata.plist behind the payload (beyond 4 GiB
                                       // for a large one, where only zip64 offsets reach them)
  bool deflate_plists = false;         // the plists deflated rather than stored
};

bool WriteLargeIpa(const std::string& path, const LargeIpaSpec& spec, std::string* error);

}  // namespace devicesim
