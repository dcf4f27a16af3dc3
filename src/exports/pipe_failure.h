#pragma once

#include <string>

namespace cw::exports {

// Why a pipe routine failed, sorted by what the calling program can do about it. Each kind has
// its errno (ErrnoOf) and is listed with it in cwpipes.h.
enum class PipeFailureKind {
  kSetup,           // CWPIPES_DEVICE, cellwarden.ini or the simulated pack's state is unusable
  kBadArgument,     // a NULL buffer with a size, a time-out out of range
  kTooLong,         // a size beyond what one transfer carries
  kNoAdapter,       // none plugged in, or the device list cannot be read
  kAdapterGone,     // it was unplugged (or reset) while handles were open
  kAccessDenied,    // this user may not open it
  kAdapterBusy,     // another program (or a kernel driver) holds it
  kHandleLimit,     // kMaxHandles handles are open
  kBadHandle,       // not open (closed, stale, never handed out) or of another kind
  kTimedOut,        // the adapter did not answer within the time-out
  kRefused,         // the adapter stalled the request
  kTransferFailed,  // any other transfer failure
  kInternal,        // a fault of the library itself
};

struct PipeFailure {
  PipeFailureKind kind = PipeFailureKind::kInternal;
  std::string text;  // one line, starting with the routine's name
};

// The errno a C caller sees after a failure of `kind`.
int ErrnoOf(PipeFailureKind kind);

}  // namespace cw::exports
