// The parameter block of the erase commands: a zlib stream after the command JSON, holding one JSON object.
//
// Thread safety: pure function.
#pragma once

#include <string_view>

#include <rapidjson/document.h>

// Inflates `data` (bytes after the zlib stream's end are ignored) and parses it; false when either fails, when
// the text is not a JSON object, or when it would inflate beyond a size no parameter block reaches.
bool InflateParameterBlock(std::string_view data, rapidjson::Document* parameters);
