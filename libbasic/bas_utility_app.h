// Task id helpers.
//
// Thread safety: GetTagTaskId may be called from any thread.
#pragma once

#include <string>

namespace bas {

class BASUtilityApp {
 public:
  // Returns `id` as it is, or, for null, a new id for a task package or task event ("tag-" and a counter), which
  // can never collide with a host's decimal task id.
  static std::string GetTagTaskId(const char* id);
};

}  // namespace bas
