// What the erase module's commands share: their result record and the two operations.
//
// Thread safety: each operation runs on the task thread of its command.
#pragma once

#include <string>

#include <rapidjson/document.h>

#include "utility/module/erase/zeb_module_erase.h"

struct EraseResult {
  int code = 0;
  std::string message;
};

// Sets the final report's info to {"error":message} and returns the code for the front door.
int FinishErase(ZEBCommand& command, const EraseResult& result);
// Sends a progress report {"percent":P} with this stage.
void SendPercent(const ZEBCommand& command, int stage, int percent);

EraseResult RunWipeFreeSpace(ZEBCommand& command, const rapidjson::Value& parameters);
EraseResult RunEraseAll(ZEBCommand& command, const rapidjson::Value& parameters,
                        const EraseRestoreOperation& restore);
