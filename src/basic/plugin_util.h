// The plug-in registry and the in-process message bus.
//
// Modules are registered by name: Corvane itself as "Corvane", each plug-in under its folder's name. A module
// subscribes one handler record to the message names it receives. Dispatch delivers a message to the subscribers
// of its name, in subscription order: only to the target when the message names one, otherwise to every
// subscriber but the sender. Plug-ins are loaded from a folder of version folders, each holding a "plugin.load"
// manifest; the highest version is tried first, and the first that loads wins. Libraries are never unloaded.
//
// Thread safety: all members may be called from any thread. Handlers run without the registry mutex held, so a
// handler may dispatch further messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "corvane/plugin.h"
#include "platform/dynamic_library.h"

namespace bas {

struct PluginRecord {
  uint32_t type = 0;
  std::string library_path;
  std::string id;
  std::string version;
  int width = 0;
  int height = 0;
  std::string create_command;
  std::vector<std::string> received;
  std::vector<std::string> sent;
  std::vector<std::string> required;
  std::vector<std::string> optional;
};

class PluginRegistry {
 public:
  static PluginRegistry& Get();

  // Registers Corvane itself under `name`, with `receive` subscribed to each of `messages`. Returns the module id
  // to use as sender of Corvane's own messages.
  uintptr_t RegisterSelf(const std::string& name, BASMessageFunc receive, const std::vector<std::string>& messages);
  // The id RegisterSelf gave (0 before it ran): the sender of Corvane's own messages.
  uintptr_t self_id() const { return self_id_.load(); }

  // Loads the plug-in of `folder` (see the header comment). Returns the new record, or null when a plug-in of that
  // name is already registered or no version could be loaded.
  std::shared_ptr<const PluginRecord> LoadPlugin(const std::string& folder);

  bool Contains(const std::string& name) const;
  std::shared_ptr<const PluginRecord> Find(const std::string& name) const;

  // Delivers a message on the bus; returns the last handler's answer, or 0 when nobody received it.
  int Dispatch(BASObserveData* message);
  // The same as a plain function: the `send` every plug-in is given.
  static int DispatchEntry(BASObserveData* message);

  // Orders the version folders as loading tries them: each folder that is at least the greatest so far goes to
  // the front, the others to the back (so the greatest comes first; the rest keep no particular order).
  static std::vector<std::string> OrderVersions(const std::vector<std::string>& folders);

 private:
  struct Handler {
    BASHandlerRecord record{};
  };

  bool TryLoadVersion(const std::string& name, const std::string& version_folder,
                      std::shared_ptr<const PluginRecord>* loaded);
  void Subscribe(Handler* handler, const std::vector<std::string>& messages);

  mutable std::mutex mutex_;  // the registry mutex: guards everything below
  std::map<std::string, std::shared_ptr<const PluginRecord>> modules_;
  std::map<std::string, std::vector<Handler*>> subscriptions_;
  std::vector<std::unique_ptr<Handler>> handlers_;
  std::vector<std::unique_ptr<platform::DynamicLibrary>> libraries_;
  std::atomic<uintptr_t> self_id_{0};
};

}  // namespace bas
