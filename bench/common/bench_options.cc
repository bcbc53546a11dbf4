#include "common/bench_options.h"

#include <stdlib.h>

#include <cstring>
#include <filesystem>

namespace bench {
namespace {

bool Take(const char* argument, const Option& option) {
  size_t length = std::strlen(option.name);
  if (std::strncmp(argument, option.name, length) != 0 || argument[length] != '=') return false;
  const char* value = argument + length + 1;
  if (option.text != nullptr) *option.text = value;
  if (option.number != nullptr) {
    char* end = nullptr;
    long long number = std::strtoll(value, &end, 10);
    if (end != value && *end == '\0') *option.number = number;
  }
  return true;
}

std::string MakeFolderIn(const std::string& base, const std::string& prefix) {
  std::string pattern = base + "/" + prefix + ".XXXXXX";
  return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

}  // namespace

std::vector<char*> TakeOptions(int argc, char** argv, const std::vector<Option>& options) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    bool taken = false;
    for (const Option& option : options) taken = taken || (i > 0 && Take(argv[i], option));
    if (!taken) rest.push_back(argv[i]);
  }
  return rest;
}

std::string MakeBenchFolder(const std::string& prefix, bool in_memory) {
  if (in_memory) {
    std::string folder = MakeFolderIn("/dev/shm", prefix);
    if (!folder.empty()) return folder;
  }
  return MakeFolderIn(std::filesystem::temp_directory_path().string(), prefix);
}

}  // namespace bench
