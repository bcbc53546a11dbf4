// Whether a simulated device accepts a computer: trusted (pairs and starts sessions), pending (the trust dialog is
// showing: Pair answers PairingDialogResponsePending until the user trusts), denied (Pair answers
// UserDeniedPairing). Plain values, no shared state.
#pragma once

#include <string>

namespace devicesim {

enum class TrustState { kTrusted, kPending, kDenied };

const char* TrustStateName(TrustState state);  // "trusted", "pending", "denied"
bool ParseTrustState(const std::string& text, TrustState* state);

}  // namespace devicesim
