// Conversions between the plist library's trees and PlistValue. Internal to src/iOSAPI.
//
// Thread safety: pure functions.
#pragma once

#include <plist/plist.h>

#include "iOSAPI/plist_value.h"

enum class DataForm {
  kBytes,         // data stay bytes (messages: their text form is Base64)
  kUpperHexText,  // data become upper-case hexadecimal text (lockdown values)
};

// False when the tree is deeper than the layer accepts (a hostile answer); `out` then holds nothing useful.
bool FromPlist(plist_t node, DataForm data_form, PlistValue* out);
// A new tree the caller frees with plist_free.
plist_t ToPlist(const PlistValue& value);

// Seconds since 2001-01-01 UTC as "YYYY-MM-DDTHH:MM:SSZ", and back (false when the text is not that form).
std::string AppleDateText(int64_t seconds_since_2001);
bool ParseAppleDateText(const std::string& text, int64_t* seconds_since_2001);
