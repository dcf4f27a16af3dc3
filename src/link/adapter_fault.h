#pragma once

#include <string>
#include <string_view>

namespace cw::link {

// What went wrong below the transport, sorted by what the engineer has to do about it.
enum class FaultKind {
  kNone,          // nothing failed, or the gauge refused (that is not the adapter's fault)
  kAccessDenied,  // the node exists but this user may not open it
  kBusy,          // another program (or a kernel driver) holds the device
  kGone,          // the device went away (unplugged, reset)
  kTimedOut,      // the device did not answer within the library's or the kernel's time-out
  kStalled,       // the device refused the request (a USB stall)
  kShortReply,    // fewer bytes came back than the report or packet holds
  kBadReply,      // a whole reply, but not one to the request sent
  kOther,
};

// One failure with the library's own words. `cause` is the short system text ("Permission
// denied"); `detail` is what the library said about it ("ioctl (SFEATURE): Broken pipe").
struct AdapterFault {
  FaultKind kind = FaultKind::kNone;
  std::string cause;
  std::string detail;

  explicit operator bool() const { return kind != FaultKind::kNone; }
  bool operator==(const AdapterFault&) const = default;
};

// errno of a failed open or ioctl on a device node.
FaultKind FaultKindOfErrno(int error);
// A negative libusb result code.
FaultKind FaultKindOfUsbResult(int result);
// The libusb name of a result code ("LIBUSB_ERROR_TIMEOUT"), for backends without texts.
std::string_view UsbResultName(int result);

// What a kind of failure means, for a failure the library gave no words to.
std::string_view FaultKindText(FaultKind kind);
// The cause and the library's words in one line, without saying the same thing twice:
// "ioctl (SFEATURE): Broken pipe", "Operation timed out (LIBUSB_ERROR_TIMEOUT)".
std::string DescribeFault(const AdapterFault& fault);

}  // namespace cw::link
