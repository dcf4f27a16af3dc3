#include "link/adapter_fault.h"

#include <cerrno>

#include "link/messages.h"
#include "link/usb_backend.h"

namespace cw::link {

FaultKind FaultKindOfErrno(int error) {
  switch (error) {
    case 0:
      return FaultKind::kOther;
    case EACCES:
    case EPERM:
      return FaultKind::kAccessDenied;
    case EBUSY:
      return FaultKind::kBusy;
    // hidraw answers ENODEV once the device is gone; a node that vanished gives ENOENT or ENXIO,
    // and a USB device that is being torn down ESHUTDOWN.
    case ENODEV:
    case ENOENT:
    case ENXIO:
    case ESHUTDOWN:
      return FaultKind::kGone;
    case ETIMEDOUT:
      return FaultKind::kTimedOut;
    // The USB core reports a stalled control request as EPIPE, a broken handshake as EPROTO.
    case EPIPE:
    case EPROTO:
    case EILSEQ:
      return FaultKind::kStalled;
    default:
      return FaultKind::kOther;
  }
}

FaultKind FaultKindOfUsbResult(int result) {
  switch (result) {
    case kUsbErrorAccess:
      return FaultKind::kAccessDenied;
    case kUsbErrorBusy:
      return FaultKind::kBusy;
    case kUsbErrorNoDevice:
    case kUsbErrorNotFound:
      return FaultKind::kGone;
    case kUsbErrorTimeout:
      return FaultKind::kTimedOut;
    case kUsbErrorPipe:
      return FaultKind::kStalled;
    case kUsbErrorOverflow:
      return FaultKind::kBadReply;
    default:
      return result < 0 ? FaultKind::kOther : FaultKind::kNone;
  }
}

std::string_view UsbResultName(int result) {
  switch (result) {
    case kUsbSuccess:
      return "LIBUSB_SUCCESS";
    case kUsbErrorIo:
      return "LIBUSB_ERROR_IO";
    case kUsbErrorInvalidParam:
      return "LIBUSB_ERROR_INVALID_PARAM";
    case kUsbErrorAccess:
      return "LIBUSB_ERROR_ACCESS";
    case kUsbErrorNoDevice:
      return "LIBUSB_ERROR_NO_DEVICE";
    case kUsbErrorNotFound:
      return "LIBUSB_ERROR_NOT_FOUND";
    case kUsbErrorBusy:
      return "LIBUSB_ERROR_BUSY";
    case kUsbErrorTimeout:
      return "LIBUSB_ERROR_TIMEOUT";
    case kUsbErrorOverflow:
      return "LIBUSB_ERROR_OVERFLOW";
    case kUsbErrorPipe:
      return "LIBUSB_ERROR_PIPE";
    case kUsbErrorInterrupted:
      return "LIBUSB_ERROR_INTERRUPTED";
    case kUsbErrorNoMem:
      return "LIBUSB_ERROR_NO_MEM";
    case kUsbErrorNotSupported:
      return "LIBUSB_ERROR_NOT_SUPPORTED";
    default:
      return "LIBUSB_ERROR_OTHER";
  }
}

std::string_view FaultKindText(FaultKind kind) {
  switch (kind) {
    case FaultKind::kNone:
      return {};
    case FaultKind::kAccessDenied:
      return "permission denied";
    case FaultKind::kBusy:
      return "the device is busy";
    case FaultKind::kGone:
      return "the device went away";
    case FaultKind::kTimedOut:
      return "no answer in time";
    case FaultKind::kStalled:
      return "the device refused the request";
    case FaultKind::kShortReply:
      return "the reply was short";
    case FaultKind::kBadReply:
      return "the reply did not fit the request";
    case FaultKind::kOther:
      return messages::kFaultOther;
  }
  return messages::kFaultOther;
}

std::string DescribeFault(const AdapterFault& fault) {
  if (fault.cause.empty() && fault.detail.empty()) return std::string(FaultKindText(fault.kind));
  if (fault.detail.empty()) return fault.cause;
  if (fault.cause.empty() || fault.detail.ends_with(fault.cause)) return fault.detail;
  return fault.cause + " (" + fault.detail + ")";
}

}  // namespace cw::link
