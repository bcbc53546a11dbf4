// The command table: which module owns which packet types, and which handler serves which named sub-command of
// the plug-in bus. It is declared once, in command_table.cc; start-up turns it into the client's map.
//
// Thread safety: built once at start-up on the main thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "utility/ios/zeb_client.h"
#include "utility/module/plugins/zeb_module_plugins.h"

struct CommandRow {
  uint32_t first_type;
  uint32_t last_type;  // inclusive
  ZEBModule& (*module)();
};

struct SubCommandRow {
  const char* name;
  ZEBModulePlugins::SubCommandHandler handler;
};

std::span<const CommandRow> CommandRows();
std::span<const SubCommandRow> SubCommandRows();

// Builds the packet-type map; false (naming the clash in `error`) when a type would get two owners.
bool BuildCommandMap(std::span<const CommandRow> rows, CommandMap* map, std::string* error);

// Builds the map from the table, hands it to the client and registers the sub-commands.
bool RegisterCommandTable(ZEBClient& client, std::string* error);
