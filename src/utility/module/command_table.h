// The command table: which module owns which packet types, what the front door does for them before the module's
// handler runs (command_policy.h), and which handler serves which named sub-command of the plug-in bus. It is
// declared once, in command_table.cc; start-up turns it into the client's map.
//
// Thread safety: built once at start-up on the main thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "utility/module/front_door.h"
#include "utility/module/plugins/zeb_module_plugins.h"
#include "utility/child_link.h"
#include "utility/report_sink.h"

struct CommandRow {
  uint32_t first_type;
  uint32_t last_type;  // inclusive
  ZEBModule& (*module)();
  const char* owner;  // the module's class name, as utility/protocol_codes.h names the types' owners
  CommandPolicy policy;
};

struct SubCommandRow {
  const char* name;
  ZEBModulePlugins::SubCommandHandler handler;
};

std::span<const CommandRow> CommandRows();
std::span<const SubCommandRow> SubCommandRows();

// Builds the packet-type map, attaching every module to `sink`; false (naming the clash in `error`) when a type
// would get two owners.
bool BuildCommandMap(std::span<const CommandRow> rows, ZEBReportSink* sink, CommandMap* map, std::string* error);

// Hands the elevated child helper's link to the modules that use it.
void AttachChildLink(ZEBChildLink* link);

// Builds the map from the table with `sink` as every module's report sink, and registers the sub-commands.
bool BuildCommandTable(ZEBReportSink* sink, CommandMap* map, std::string* error);
