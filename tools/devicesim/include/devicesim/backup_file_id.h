// The name under which a backup stores a file: the lower-case SHA-1 hex of domain + "-" + relative path. Tests
// use it to find in a backup the files they put into a profile's backup source.
//
// Thread safety: a pure function.
#pragma once

#include <string>

namespace devicesim {

std::string BackupFileId(const std::string& domain, const std::string& relative_path);

}  // namespace devicesim
