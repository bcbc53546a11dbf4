#include "utility/module/command_table.h"

#include "utility/module/app/zeb_module_app.h"
#include "utility/module/basicinfo/zeb_module_basicinfo.h"
#include "utility/module/control/zeb_module_control.h"
#include "utility/module/file/zeb_module_file.h"
#include "utility/module/sms/zeb_module_sms.h"

namespace {

ZEBModule& Control() {
  static ZEBModuleControl module;
  return module;
}

ZEBModule& Sms() {
  static ZEBModuleSms module;
  return module;
}

ZEBModule& Plugins() { return ZEBModulePlugins::Get(); }

ZEBModule& App() {
  static ZEBModuleApp module;
  return module;
}

ZEBModule& BasicInfo() {
  static ZEBModuleBasicInfo module;
  return module;
}

ZEBModule& File() {
  static ZEBModuleFile module;
  return module;
}

const CommandRow kCommandRows[] = {
    {15, 15, &BasicInfo},
    {201, 201, &Sms},
    {300, 300, &BasicInfo},
    {303, 303, &BasicInfo},
    {501, 502, &App},
    {504, 506, &App},
    {600, 600, &Control},
    {701, 703, &File},
    {1800, 1800, &Plugins},
};

const SubCommandRow kSubCommandRows[] = {
    {BAS_SUB_COMMAND_SEND_RESULT, &ZEBModulePlugins::OnSendResult},
    {BAS_SUB_COMMAND_DECOMPRESS_ZIP_STREAM, &ZEBClient::DecompressZipStream},
    {BAS_SUB_COMMAND_GET_PROJECT_TEMP_DIR, &ZEBClient::GetProjectTempDir},
    {BAS_SUB_COMMAND_SMS_QUERY_CONVERSATION_LIST, &ZEBModuleSms::QueryConversationList},
};

}  // namespace

std::span<const CommandRow> CommandRows() { return kCommandRows; }

std::span<const SubCommandRow> SubCommandRows() { return kSubCommandRows; }

bool BuildCommandMap(std::span<const CommandRow> rows, CommandMap* map, std::string* error) {
  map->clear();
  for (const CommandRow& row : rows) {
    ZEBModule* module = &row.module();
    for (uint32_t type = row.first_type; type <= row.last_type; ++type) {
      if (!map->emplace(type, module).second) {
        *error = "packet type " + std::to_string(type) + " has two owners";
        return false;
      }
    }
  }
  return true;
}

bool RegisterCommandTable(ZEBClient& client, std::string* error) {
  CommandMap map;
  if (!BuildCommandMap(CommandRows(), &map, error)) return false;
  client.SetCommandTable(std::move(map));
  for (const SubCommandRow& row : SubCommandRows()) {
    if (!ZEBModulePlugins::Get().RegisterSubCommand(row.name, row.handler)) {
      *error = std::string("sub-command ") + row.name + " has two handlers";
      return false;
    }
  }
  return true;
}
