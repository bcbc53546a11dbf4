// A named request from Corvane to the plug-ins, and its reply, with a time limit.
//
// The request goes on the bus as a text message (payload kind 0, the request's JSON text) from Corvane itself,
// with the command's task id. A plug-in that subscribes to the name answers before its receive function returns:
// it sets `output` to a NUL-terminated UTF-8 text allocated with malloc (Corvane frees it) and `result` to 1 (see
// corvane/plugin.h). No subscriber, result 0 or no output: no reply.
//
// The dispatch runs on a helper thread, so a plug-in that never returns costs the caller `timeout` and no more;
// its late answer is freed when it comes.
//
// Thread safety: callable from any thread.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "basic/plugin_util.h"

// The reply text, or nothing when no plug-in answered within `timeout`.
std::optional<std::string> AskPlugins(bas::PluginRegistry& bus, uintptr_t sender_id, const std::string& name,
                                      const std::string& task_id, const std::string& request,
                                      std::chrono::milliseconds timeout);
