// The commands Corvane owns, as one declarative table (command_list.cc). It is the single source of:
// the list `corvane-host --help` prints, the README's command table (a test fails when the two differ), and how
// corvane-host treats each command: whether its JSON names a device, how its progress reports read, and which of
// its data parts are files for people (--save). A command added to Corvane is one row here.
//
// Immutable tables and pure functions; safe from any thread.
#ifndef CORVANE_TOOLS_HOST_CLI_COMMAND_LIST_H_
#define CORVANE_TOOLS_HOST_CLI_COMMAND_LIST_H_

#include <cstdint>
#include <span>
#include <string>

#include "progress_shape.h"

namespace corvane_host {

// What --save does with a command.
enum class SaveKind {
  kNothing,
  kStream,       // the streamed chunks (info offset, size) are reassembled into the file named by command.info.path
  kImages,       // PNG or JPEG data parts are written as "<info.MEMBER><suffix>.png|.jpg"
  kLocalFolder,  // the command writes local files itself: its JSON member MEMBER is set to the folder when absent
};

struct SaveShape {
  SaveKind kind = SaveKind::kNothing;
  const char* member = "";
  const char* suffix = "";
};

struct CommandInfo {
  uint32_t first_type;
  uint32_t last_type;
  const char* name;   // one line: --help and the README's "Command" column
  const char* notes;  // the README's "Notes" column (Markdown)
  bool names_device;  // the command JSON names its device by "uuid", which corvane-host fills in when absent
  const ProgressShape* progress = nullptr;
  SaveShape save = {};
};

std::span<const CommandInfo> CommandList();

// The row owning `packet_type`, or null.
const CommandInfo* FindCommand(uint32_t packet_type);

// "505, 506" style: the row's types as the README and --help show them.
std::string TypesText(const CommandInfo& command);

// The lines --help prints, one per row: types, then the name.
std::string CommandHelpText();

// The README's command table (header, separator and one line per row), each line ending in "\n".
std::string CommandTableMarkdown();

}  // namespace corvane_host

#endif  // CORVANE_TOOLS_HOST_CLI_COMMAND_LIST_H_
