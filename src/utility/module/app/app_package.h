// Reading an application package (.ipa, a zip archive) before it is installed.
//
// The bundle's Info.plist is the member "Payload/<name>.app/Info.plist" (the first such member in the archive's
// directory; deeper Info.plist files belong to frameworks and extensions), in the binary or XML property-list
// format. "iTunesMetadata.plist" at the top of the archive holds the store metadata and may be missing. Only the
// archive's directory and these two members are read, so a package of any size costs a few kilobytes of memory.
// Zip64 archives above 4 GiB are read too, also when these members lie beyond 4 GiB (app_zip_member.h says why
// minizip alone does not do that here).
//
// A package is untrusted input: its bundle identifier becomes a device file name ("general_storage/<id>.ipa")
// and a value in a message, so identifiers that could leave that folder or cannot be carried by the message are
// refused (IsSafeBundleIdentifier), and a member larger than kMaxPackagePlist is treated as a broken package.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "iOSAPI/plist_value.h"

inline constexpr size_t kMaxPackagePlist = 8 * 1024 * 1024;

struct AppPackage {
  std::string bundle_id;
  std::string app_folder;      // "<name>.app"
  PlistValue info;             // Info.plist, a dictionary
  std::string store_metadata;  // the bytes of iTunesMetadata.plist; empty when the package has none
};

enum class PackageStatus {
  kOk,
  kUnreadable,      // no zip archive, no readable Info.plist, no bundle identifier
  kUnsafeIdentifier,
};

PackageStatus ReadAppPackage(const std::string& path, AppPackage* package, std::string* reason);

// False for an identifier that is empty, longer than a file name allows (with ".ipa"), holds "/", "\", "..",
// a control character (NUL included) or bytes that are not UTF-8.
bool IsSafeBundleIdentifier(std::string_view bundle_id);
