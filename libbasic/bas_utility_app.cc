#include "libbasic/bas_utility_app.h"

#include <atomic>
#include <cstdint>

namespace bas {

std::string BASUtilityApp::GetTagTaskId(const char* id) {
  if (id != nullptr) return id;
  static std::atomic<uint64_t> counter{0};
  return "tag-" + std::to_string(++counter);
}

}  // namespace bas
