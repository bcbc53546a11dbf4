#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace platform {

DynamicLibrary::~DynamicLibrary() { ::dlclose(handle_); }

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& path, std::string* error) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* message = ::dlerror();
    if (error != nullptr) *error = message != nullptr ? message : "unknown error";
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

void* DynamicLibrary::Symbol(const char* name) const { return ::dlsym(handle_, name); }

}  // namespace platform
