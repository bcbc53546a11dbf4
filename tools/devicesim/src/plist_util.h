// Helpers around libplist for the simulator's protocol code: an owning pointer, typed reads of dictionary
// members, conversion between devicesim::Value and plist nodes, and serialisation.
//
// Stateless functions; a plist node itself is not thread-safe, so each one is used by one thread at a time.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "devicesim/value.h"

namespace devicesim {

struct PlistFree {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Parses XML or binary property-list bytes; null when they are neither.
PlistPtr ParsePlist(const char* data, size_t size);
std::string ToXml(plist_t node);
std::string ToBinary(plist_t node);

// Typed member reads of a dictionary node; nullopt when absent or of another type.
std::optional<std::string> DictString(plist_t dict, const char* key);
std::optional<uint64_t> DictUint(plist_t dict, const char* key);

plist_t ToPlist(const Value& value);  // a new node owned by the caller
Value FromPlist(plist_t node);

}  // namespace devicesim
