#include "utility/sync/sync_messages.h"

#include <cstdio>
#include <cstdlib>

std::string PlistFrame(std::string_view body) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">";
  text += body;
  text += "</plist>\n";
  return text;
}

std::string SyncRequestMessage(std::string_view data_class, std::string_view anchor_name, std::string_view anchor,
                               long long version) {
  return PlistFrame("<array><string>SDMessageSyncDataClassWithDevice</string><string>" + XmlEscape(data_class) +
                    "</string><string>" + XmlEscape(anchor_name) + "</string><string>" + XmlEscape(anchor) +
                    "</string><integer>" + std::to_string(version) + "</integer><string>" +
                    std::string(kEmptyParameter) + "</string></array>");
}

std::string ClassMessage(std::string_view name, std::string_view data_class) {
  return PlistFrame("<array><string>" + XmlEscape(name) + "</string><string>" + XmlEscape(data_class) +
                    "</string></array>");
}

std::string DeleteRecordMessage(std::string_view data_class, std::string_view id) {
  return PlistFrame("<array><string>SDMessageProcessChanges</string><string>" + XmlEscape(data_class) +
                    "</string><dict><key>" + XmlEscape(id) + "</key><string>" + std::string(kEmptyParameter) +
                    "</string></dict></array>");
}

std::string ReplaceIdentifier(std::string xml, std::string_view from, std::string_view to) {
  std::string old_text = ">" + XmlEscape(from) + "<";
  std::string new_text = ">" + XmlEscape(to) + "<";
  for (size_t at = xml.find(old_text); at != std::string::npos; at = xml.find(old_text, at + new_text.size())) {
    xml.replace(at, old_text.size(), new_text);
  }
  return xml;
}

std::string ComputerAnchorText(std::time_t now) {
  tzset();
  std::tm local{};
  localtime_r(&now, &local);
  // `timezone` is the standard zone's distance west of UTC in seconds, whatever daylight saving does now.
  long hours_east = -timezone / 3600;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02ld00", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, hours_east < 0 ? '-' : '+',
                std::labs(hours_east));
  return text;
}
