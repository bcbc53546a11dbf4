#include "utility/module/itunes/zeb_module_itunes.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "platform/platform.h"
#include "utility/module/itunes/itunes_commands.h"

int ZEBModuleiTunes::OnCommand(ZEBCommand& command) {
  command.result_info = itunes::ErrorInfo("");
  switch (command.type()) {
    case protocol::kTypeBackup:
      return itunes::Backup(command);
    case protocol::kTypeRestore:
      return itunes::Restore(command);
    case protocol::kTypeBackupList:
      return itunes::ListBackups(command);
    case protocol::kTypeFindMyAssociated:
      return itunes::AnswerDeviceFlag(command, "com.apple.fmip", "IsAssociated");
    case protocol::kTypeWillEncrypt:
      return itunes::AnswerDeviceFlag(command, "com.apple.mobile.backup", "WillEncrypt");
    case protocol::kTypeSetBackupPassword:
      return itunes::SetBackupPassword(command);
    case protocol::kTypeITunesRunning:
      return itunes::IsITunesRunning();
    case protocol::kTypeEndITunes:
      return itunes::EndITunes();
    case protocol::kTypeBackupExtract:
      return itunes::ExtractFromBackup(command);
    default:
      return kResultOk;
  }
}

namespace itunes {

std::string DefaultBackupRoot() { return platform::DataHomeFolder() + "/Apple Computer/MobileSync/Backup/"; }

std::string JsonString(const ZEBCommand& command, const char* name, bool* present) {
  return StringMember(command.json(), name, present);
}

std::string StringMember(const rapidjson::Value& object, const char* name, bool* present) {
  bool found = object.IsObject() && object.HasMember(name) && object[name].IsString();
  if (present != nullptr) *present = found;
  return found ? std::string(object[name].GetString(), object[name].GetStringLength()) : std::string();
}

std::string ErrorInfo(const std::string& text) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("error");
  writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  writer.EndObject();
  return buffer.GetString();
}

}  // namespace itunes
