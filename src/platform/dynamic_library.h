// Shared libraries loaded at run time.
//
// Thread safety: Open and Symbol may be called from any thread. A library stays loaded until its object is
// destroyed.
#pragma once

#include <memory>
#include <string>

namespace platform {

class DynamicLibrary {
 public:
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads a library by path or by its soname, binding every symbol now and keeping them local to it.
  // On failure returns null and puts the loader's message in `error`.
  static std::unique_ptr<DynamicLibrary> Open(const std::string& path, std::string* error);

  // The address of an exported function or variable, or null.
  void* Symbol(const char* name) const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace platform
