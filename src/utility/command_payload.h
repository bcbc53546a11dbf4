// The payload of a host command: a decimal marker, NUL, the command JSON text, NUL, then optional data.
//
// Thread safety: pure functions; the views point into the packet's payload.
#pragma once

#include <string>
#include <string_view>

#include <rapidjson/document.h>

struct CommandPayload {
  int marker = 0;
  std::string_view json;  // the command JSON text
  std::string_view rest;  // the bytes after the JSON text's NUL (empty when there are none)
};

CommandPayload SplitCommandPayload(const std::string& payload);

// Parses `text` into `doc`; false unless it is a JSON object.
bool ParseJsonObject(std::string_view text, rapidjson::Document* doc);

// The text member `key` of `object`, or "" when it is absent or not text.
std::string JsonText(const rapidjson::Value& object, const char* key);
