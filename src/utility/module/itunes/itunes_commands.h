// The commands of ZEBModuleiTunes, one function each (see zeb_module_itunes.h for their protocol), and the
// helpers they share.
//
// Thread safety: each runs on its command's thread.
#pragma once

#include <string>

#include <rapidjson/document.h>

#include "utility/backup/backup_session.h"
#include "utility/ios/zeb_device_connection.h"
#include "utility/module/zeb_command.h"

namespace itunes {

int Backup(ZEBCommand& command);
int Restore(ZEBCommand& command);
// The restore as other commands run it (erase-all ends with one): `parameters` holds "path", "sourceDeviceId" and
// "password" as 1601's command does; progress goes out as the command's reports; *message gets the result's text.
int RestoreFromBackup(ZEBCommand& command, const ZEBDeviceConnectionPtr& device, const rapidjson::Value& parameters,
                      std::string* message);
int ListBackups(ZEBCommand& command);
int AnswerDeviceFlag(ZEBCommand& command, const char* domain, const char* key);
int SetBackupPassword(ZEBCommand& command);
int IsITunesRunning();
int EndITunes();
// 1608: backup extraction (utility/backup/extract).
int ExtractFromBackup(ZEBCommand& command);

// Ends a backup command with the result's code, its text as the info {"error":text}.
int Finish(ZEBCommand& command, const BackupResult& result);
// A backup's progress as the command's events (stage 1, the device's uuid, code 0..10,000) and the command's stop.
BackupSessionHooks BackupHooksFor(const ZEBCommand& command, const std::string& udid);

// <data home>/Apple Computer/MobileSync/Backup/
std::string DefaultBackupRoot();
// The command's string member, or "" when it is missing or not a string; *present tells which.
std::string JsonString(const ZEBCommand& command, const char* name, bool* present = nullptr);
// The same for any JSON object.
std::string StringMember(const rapidjson::Value& object, const char* name, bool* present = nullptr);
// {"error":text}
std::string ErrorInfo(const std::string& text);

}  // namespace itunes
