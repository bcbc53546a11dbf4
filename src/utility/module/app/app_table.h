// The application table of the list command, and the member mapping it shares with package installation.
//
// Each application is one JSON object (AppObject) whose members keep the order in which they were first set.
// A name is never set twice: the first value stays, so the installed bundle's own values win over the store
// metadata's and every name appears once in the object. Members of the bundle come in the order
// "ApplicationType", "CFBundleIdentifier", "CFBundleDisplayName", "CFBundleName", "CFBundleShortVersionString",
// "CFBundleVersion", "Path" (each only when present as text), then the store metadata's mapped members (below),
// then "data-size" and "app-size" from the sizes pass.
//
// Store metadata ("iTunesMetadata", a property list) maps to text members, in this order:
//   CFBundleIdentifier <- softwareVersionBundleId     CFBundleShortVersionString <- bundleShortVersionString
//   CFBundleVersion <- bundleVersion                  CFBundleDisplayName <- bundleDisplayName
//   releaseDate, artistName, itemName, softwareIcon57x57URL <- the same names
//   AppleID <- appleId, else accountInfo/AppleID (accountInfo at the top or inside the download info)
//   purchaseDate <- com.apple.iTunesStore.downloadInfo/purchaseDate
// Text and dates are copied as text, integers as their decimal text; other kinds are left out.
//
// Thread safety: plain values; one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "iOSAPI/plist_value.h"

class AppObject {
 public:
  // Both do nothing when the name is already set.
  void SetText(const std::string& name, std::string value);
  void SetInteger(const std::string& name, int64_t value);

  bool Has(std::string_view name) const;
  std::optional<std::string> Text(std::string_view name) const;
  size_t size() const { return members_.size(); }

  // Compact JSON, members in order.
  std::string ToJson() const;

 private:
  std::vector<std::pair<std::string, std::variant<std::string, int64_t>>> members_;
};

// The bundle members of an application dictionary (a list entry or a package's Info.plist).
void AddBundleMembers(const PlistValue& bundle, AppObject* app);
// The mapped members of parsed store metadata (a dictionary; anything else adds nothing).
void AddStoreMetadata(const PlistValue& metadata, AppObject* app);
// Parses store metadata bytes (binary or XML property list) and adds its members; false when they do not parse
// as a dictionary.
bool AddStoreMetadataBytes(std::string_view bytes, AppObject* app);

class AppTable {
 public:
  // An entry of the first list pass: a new application (or more members for a known one). Entries without a
  // text "CFBundleIdentifier" cannot be keyed and are dropped.
  void AddListed(const PlistValue& entry);
  // An entry of the sizes pass: "data-size" (DynamicDiskUsage) and "app-size" (StaticDiskUsage) for the listed
  // application with the same identifier; unknown identifiers are ignored.
  void AddSizes(const PlistValue& entry);

  // In the order the applications were first listed.
  const std::vector<AppObject>& apps() const { return apps_; }

 private:
  AppObject* Find(const std::string& bundle_id);

  std::vector<AppObject> apps_;
  std::map<std::string, size_t> index_;  // bundle identifier -> position in apps_
};
