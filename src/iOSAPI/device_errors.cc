#include "iOSAPI/am_device_internal.h"
#include "iOSAPI/mobile_export_fun.h"

const EntryPoints& Lib() { return CMobileExportFun::GetInstance().entry(); }

int32_t FromLockdownError(lockdownd_error_t error) {
  switch (error) {
    case LOCKDOWN_E_SUCCESS:
      return kAMDSuccess;
    case LOCKDOWN_E_INVALID_ARG:
      return kAMDInvalidArgument;
    case LOCKDOWN_E_MUX_ERROR:
      return kAMDMuxError;
    case LOCKDOWN_E_RECEIVE_TIMEOUT:
      return kAMDTimeout;
    case LOCKDOWN_E_PASSWORD_PROTECTED:
      return kAMDPasswordProtected;
    case LOCKDOWN_E_USER_DENIED_PAIRING:
      return kAMDUserDeniedPairing;
    case LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING:
      return kAMDPairingDialogPending;
    case LOCKDOWN_E_INVALID_HOST_ID:
    case LOCKDOWN_E_MISSING_HOST_ID:
      return kAMDInvalidHostID;
    case LOCKDOWN_E_NO_RUNNING_SESSION:
    case LOCKDOWN_E_SESSION_INACTIVE:
      return kAMDSessionInactive;
    case LOCKDOWN_E_INVALID_SERVICE:
    case LOCKDOWN_E_MISSING_SERVICE:
      return kAMDInvalidService;
    default:
      return kAMDUndefinedError;
  }
}

int32_t FromAfcError(afc_error_t error) {
  // AFC's own codes are small positive numbers; the callers only need to tell success from failure, and the
  // value itself is kept for the log.
  return error == AFC_E_SUCCESS ? kAMDSuccess : static_cast<int32_t>(error);
}
