#include "utility/module/app/app_messages.h"

#include "iOSAPI/plist_message.h"

namespace {

constexpr std::string_view kListBody =
    "<plist version=\"1.0\"><dict><key>ClientOptions</key><dict><key>ApplicationType</key><string>User</string>"
    "<key>ReturnAttributes</key><array><string>CFBundleIdentifier</string><string>ApplicationType</string>"
    "<string>iTunesMetadata</string><string>ApplicationSINF</string><string>CFBundleVersion</string>"
    "<string>CFBundleShortVersionString</string><string>Path</string><string>CFBundleDisplayName</string>"
    "<string>CFBundleName</string></array></dict><key>Command</key><string>Browse</string></dict></plist>";
constexpr std::string_view kListSizesBody =
    "<plist version=\"1.0\"><dict><key>ClientOptions</key><dict><key>ApplicationType</key><string>User</string>"
    "<key>ReturnAttributes</key><array><string>CFBundleIdentifier</string><string>DynamicDiskUsage</string>"
    "<string>StaticDiskUsage</string></array></dict><key>Command</key><string>Browse</string></dict></plist>";
constexpr std::string_view kIconBody =
    "<plist version=\"1.0\"><dict><key>bundleId</key><string>%s</string><key>command</key>"
    "<string>getIconPNGData</string></dict></plist>";
constexpr std::string_view kInstallBody =
    "<plist version=\"1.0\"><dict><key>PackagePath</key><string>%s</string><key>Command</key>"
    "<string>Upgrade</string></dict></plist>";
constexpr std::string_view kUninstallBody =
    "<plist version=\"1.0\"><dict><key>ApplicationIdentifier</key><string>%s</string><key>Command</key>"
    "<string>Uninstall</string></dict></plist>";
constexpr std::string_view kArchiveBody =
    "<plist version=\"1.0\"><dict><key>ApplicationIdentifier</key><string>%s</string><key>Command</key>"
    "<string>Archive</string></dict></plist>";

std::string Make(std::string_view header, std::string_view body, std::string_view value) {
  std::string xml(header);
  xml += FillTemplate(body, {value});
  return MakeMessage(xml).value_or(std::string());
}

}  // namespace

std::string ListMessage() { return Make(kPlistHeaderAppleComputer, kListBody, {}); }
std::string ListSizesMessage() { return Make(kPlistHeaderAppleComputer, kListSizesBody, {}); }
std::string IconMessage(std::string_view bundle_id) { return Make(kPlistHeaderAppleComputer, kIconBody, bundle_id); }
std::string InstallMessage(std::string_view path) { return Make(kPlistHeaderApple, kInstallBody, path); }
std::string UninstallMessage(std::string_view bundle_id) { return Make(kPlistHeaderApple, kUninstallBody, bundle_id); }
std::string ArchiveMessage(std::string_view bundle_id) { return Make(kPlistHeaderApple, kArchiveBody, bundle_id); }
