// ZEBModulePlugins: host commands for plug-ins, and plug-in calls into the helper (packet type 1800).
//
// A plug-in command {"type":K,"info":{"sub_command_type":"NAME",...}} becomes a message named NAME on the bus.
// With K = 0 the bytes after the command JSON are a zlib stream, inflated and passed as text; otherwise they are
// passed as a BASPayloadRecord whose JSON is the command's "info" object and whose data are those bytes. The task
// then waits for the plug-in's results: every "LIBMODEL_PLUGIN_SEND_RESULT" for it goes to the host as a
// progress report (stage 2) on the connection the command came on. A stop request ends it with code 6, and so
// does the scheduler when the plug-in stays silent for the idle time.
//
// Plug-ins call the helper by sending "LIBMODEL_PLUGIN_COMMAND_RECEIVE" with a sub-command name; the handlers of
// those names are registered here at start-up. Two of them need nothing of a module and are answered here too:
// "LIBPLATFORM_DECOMPRESS_ZIP_STREAM" and "LIBPLATFORM_GET_PROJECT_TEMP_DIR".
//
// Thread safety: sub-commands are registered at start-up, before any message arrives; everything else may run on
// any thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "corvane/plugin.h"
#include "utility/module/zeb_module.h"

class ZEBModulePlugins : public ZEBModule {
 public:
  using SubCommandHandler = void (*)(BASObserveData* message);

  static ZEBModulePlugins& Get();

  int OnHook(const void*) override { return 0; }
  int OnCommand(ZEBCommand& command) override;

  // Registers Corvane itself on the bus under "Corvane", receiving "LIBMODEL_PLUGIN_COMMAND_RECEIVE".
  void RegisterSelf();
  // False when the name is taken.
  bool RegisterSubCommand(const std::string& name, SubCommandHandler handler);

  // "LIBMODEL_PLUGIN_SEND_RESULT": a plug-in's result for a host task.
  static void OnSendResult(BASObserveData* message);
  // "LIBPLATFORM_DECOMPRESS_ZIP_STREAM": inflates the payload (a zlib stream) into a NUL-terminated buffer
  // allocated with malloc, which the caller frees; result 1 on success, 0 otherwise.
  static void DecompressZipStream(BASObserveData* message);
  // "LIBPLATFORM_GET_PROJECT_TEMP_DIR": creates the process folder and hands out its path as a NUL-terminated
  // UTF-16 string allocated with malloc.
  static void GetProjectTempDir(BASObserveData* message);

 private:
  ZEBModulePlugins() = default;
  static int ReceiveFromBus(BASObserveData* message);

  uintptr_t self_id_ = 0;
  std::map<std::string, SubCommandHandler> sub_commands_;
};
