// Small helpers shared by the socket and process code of hostlink: errno text and deadline arithmetic.
// Internal to hostlink; stateless and safe from any thread.
#ifndef CORVANE_TOOLS_HOST_HOSTLINK_POSIX_UTIL_INTERNAL_H_
#define CORVANE_TOOLS_HOST_HOSTLINK_POSIX_UTIL_INTERNAL_H_

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace hostlink::internal {

using Clock = std::chrono::steady_clock;

// "what: <text of errno>", read at the call, so call it right after the failing system call.
inline std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// Milliseconds from now until `deadline` for poll(), never negative, rounded up so a wait does not end early.
inline int MillisUntil(Clock::time_point deadline) {
  auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > 1'000'000'000 ? 1'000'000'000 : static_cast<int>(ms);
}

}  // namespace hostlink::internal

#endif  // CORVANE_TOOLS_HOST_HOSTLINK_POSIX_UTIL_INTERNAL_H_
