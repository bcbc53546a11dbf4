// How a devicesim::Value is written in device.json: strings, booleans and numbers as themselves (a number with a
// fraction or exponent is a real), arrays and objects as themselves, data as {"$data": "<base64>"} and dates as
// {"$date": <seconds since 1970>}.
//
// Stateless functions, safe from any thread.
#pragma once

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <string>

#include "devicesim/value.h"

namespace devicesim {

using JsonWriter = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

bool ValueFromJson(const rapidjson::Value& json, Value* out, std::string* error);
void WriteValueJson(const Value& value, JsonWriter& writer);

std::string Base64Encode(const std::string& bytes);
bool Base64Decode(const std::string& text, std::string* bytes);

}  // namespace devicesim
