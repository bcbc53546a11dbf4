#include "devicesim/trust_state.h"

namespace devicesim {

const char* TrustStateName(TrustState state) {
  switch (state) {
    case TrustState::kTrusted:
      return "trusted";
    case TrustState::kPending:
      return "pending";
    case TrustState::kDenied:
      return "denied";
  }
  return "trusted";
}

bool ParseTrustState(const std::string& text, TrustState* state) {
  for (TrustState candidate : {TrustState::kTrusted, TrustState::kPending, TrustState::kDenied}) {
    if (text == TrustStateName(candidate)) {
      *state = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace devicesim
