// Writes application packages (.ipa zip archives) for tests of installation: Payload/<Name>.app/Info.plist
// (binary or XML), an executable placeholder, optional iTunesMetadata.plist and extra members.
//
// Stateless; safe from any thread.
#pragma once

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

}  // namespace devicesim
