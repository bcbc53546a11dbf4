#include "devicesim/ipa_builder.h"

#include <zip.h>

#include <vector>

#include "large_zip_writer.h"
#include "plist_util.h"

namespace devicesim {
namespace {

bool AddMember(zipFile zip, const std::string& name, const std::string& content) {
  zip_fileinfo info{};
  if (zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                          Z_DEFAULT_COMPRESSION) != ZIP_OK) {
    return false;
  }
  bool written = content.empty() ||
                 zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size())) == ZIP_OK;
  return zipCloseFileInZip(zip) == ZIP_OK && written;
}

std::string InfoPlistBytes(const IpaSpec& spec) {
  Value info = Value::Dict();
  info.Set("CFBundleIdentifier", spec.bundle_id);
  info.Set("CFBundleExecutable", spec.executable);
  info.Set("CFBundleName", spec.executable);
  if (!spec.display_name.empty()) info.Set("CFBundleDisplayName", spec.display_name);
  info.Set("CFBundleShortVersionString", spec.short_version);
  info.Set("CFBundleVersion", spec.version);
  info.Set("CFBundlePackageType", "APPL");
  PlistPtr info_node(ToPlist(info));
  return spec.binary_info_plist ? ToBinary(info_node.get()) : ToXml(info_node.get());
}

}  // namespace

bool WriteIpa(const std::string& path, const IpaSpec& spec, std::string* error) {
  std::string info_bytes = InfoPlistBytes(spec);
  zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  if (!zip) {
    *error = "cannot create " + path;
    return false;
  }
  std::string app = "Payload/" + spec.executable + ".app/";
  bool ok = AddMember(zip, "Payload/", "") && AddMember(zip, app, "") &&
            AddMember(zip, app + "Info.plist", info_bytes) &&
            AddMember(zip, app + spec.executable, "\xCF\xFA\xED\xFE placeholder executable");
  if (ok && spec.itunes_metadata) {
    PlistPtr meta(ToPlist(*spec.itunes_metadata));
    ok = AddMember(zip, "iTunesMetadata.plist", ToXml(meta.get()));
  }
  for (const auto& [name, content] : spec.extra_members) ok = ok && AddMember(zip, name, content);
  if (zipClose(zip, nullptr) != ZIP_OK) ok = false;
  if (!ok) *error = "cannot write " + path;
  return ok;
}


bool WriteLargeIpa(const std::string& path, const LargeIpaSpec& spec, std::string* error) {
  std::string app = "Payload/" + spec.app.executable + ".app/";
  std::vector<LargeZipMember> plists = {
      {.name = app + "Info.plist", .content = InfoPlistBytes(spec.app), .deflated = spec.deflate_plists}};
  if (spec.app.itunes_metadata) {
    PlistPtr meta(ToPlist(*spec.app.itunes_metadata));
    plists.push_back({.name = "iTunesMetadata.plist", .content = ToXml(meta.get()), .deflated = spec.deflate_plists});
  }
  std::vector<LargeZipMember> members;
  if (!spec.plists_after_payload) members = plists;
  members.push_back({.name = app + spec.app.executable, .content = "\xCF\xFA\xED\xFE placeholder executable"});
  members.push_back({.name = app + "Assets.car", .zeros = spec.payload_bytes});
  if (spec.plists_after_payload) members.insert(members.end(), plists.begin(), plists.end());
  if (WriteStoredZip64(path, members)) return true;
  *error = "cannot write " + path;
  return false;
}

}  // namespace devicesim
