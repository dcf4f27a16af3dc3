#include "exports/pipe_failure.h"

#include <cerrno>

namespace cw::exports {

int ErrnoOf(PipeFailureKind kind) {
  switch (kind) {
    case PipeFailureKind::kSetup:
    case PipeFailureKind::kBadArgument:
      return EINVAL;
    case PipeFailureKind::kTooLong:
      return EMSGSIZE;
    case PipeFailureKind::kNoAdapter:
    case PipeFailureKind::kAdapterGone:
      return ENODEV;
    case PipeFailureKind::kAccessDenied:
      return EACCES;
    case PipeFailureKind::kAdapterBusy:
      return EBUSY;
    case PipeFailureKind::kHandleLimit:
      return EMFILE;
    case PipeFailureKind::kBadHandle:
      return EBADF;
    case PipeFailureKind::kTimedOut:
      return ETIMEDOUT;
    case PipeFailureKind::kRefused:
      return EPIPE;
    case PipeFailureKind::kTransferFailed:
    case PipeFailureKind::kInternal:
      return EIO;
  }
  return EIO;
}

}  // namespace cw::exports
