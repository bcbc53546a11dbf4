// Shared set-up of the erase module's scenario tests: the application scenario's phone and commands, plus the
// zlib parameter block the erase commands carry.
//
// One test thread.
#pragma once

#include <zlib.h>

#include <filesystem>
#include <string>

#include "app/app_scenario.h"

namespace e2e {

inline constexpr int64_t kMiB = 1024 * 1024;

inline std::string Deflated(const std::string& text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()), text.size());
  out.resize(size);
  return out;
}

class EraseScenario : public AppScenario {
 protected:
  CommandRun Erase(uint32_t type, const std::string& parameters) {
    return Command(type, Deflated(parameters), kPhoneUdid, 120s);
  }
  bool DeviceHas(const std::string& path) const { return std::filesystem::exists(AfcFolder() + path); }
  size_t Requests(const char* name) { return Count({.channel = "afc", .name = name}); }
};

}  // namespace e2e
