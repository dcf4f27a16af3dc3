#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

#include "common/product_constants.h"
#include "exports/pipe_failure.h"
#include "link/usb_backend.h"

namespace cw::exports {

// The four kinds of handle the pipe routines hand out. The vendor driver exposed the device
// itself (for vendor control requests) and three pipes under it.
enum class PipeKind { kControl, kBulkIn, kBulkOut, kInterruptIn };

// PIPE00, PIPE01 and PIPE02 of the vendor driver are these endpoints of interface 0.
inline constexpr std::uint8_t kBulkInEndpoint = 0x81;
inline constexpr std::uint8_t kBulkOutEndpoint = 0x01;
inline constexpr std::uint8_t kInterruptInEndpoint = 0x82;
inline constexpr int kPipeInterface = 0;

// The driver gave a pending pipe read or write 60 s and a pending control request 2 s. A caller
// may shorten them (SetTimeouts), never lengthen them.
inline constexpr unsigned kPipeTimeoutMs = 60000;
inline constexpr unsigned kControlTimeoutMs = 2000;

inline constexpr std::uint8_t kVendorOutRequestType = 0x40;  // vendor, device, host to device
inline constexpr std::uint8_t kVendorInRequestType = 0xC0;   // vendor, device, device to host

// Handles start at 1 so a caller that tests a handle for zero still sees a valid one; -1 is
// the failure value the original routines returned.
inline constexpr int kFirstHandle = 1;
inline constexpr int kInvalidHandle = -1;
inline constexpr std::size_t kMaxHandles = 64;

// The most one transfer carries, either way: libusb sends at most 4096 bytes of data in one
// control transfer on Linux, and 4096 bytes are 64 of the adapter's packets. A size beyond it is
// refused before the caller's buffer is touched, so a wrong length (a -1 turned unsigned) never
// reads or writes far past the buffer.
inline constexpr std::size_t kMaxTransferLength = 4096;

struct VendorRequest {
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
};

struct PipeTimeouts {
  unsigned transfer_ms = kPipeTimeoutMs;  // BulkIn and BulkOut
  unsigned control_ms = kControlTimeoutMs;
};

// The handle table behind the exported pipe routines.
//
// The vendor driver was found by its device-interface class id
// (ProductConstants::pipe_interface_id). That driver was bound to exactly one device: the
// adapter's bulk product (adapter vendor id, product 0x8000). On libusb there is no interface
// class to look up, so the table looks for that vendor and product id instead; the first such
// device in list order is the one the driver would have served.
//
// Every handle of every kind shares one open device with interface 0 claimed once. The device is
// released and closed when the last handle referring to it is closed (or when a transfer still
// running on it returns after that).
//
// Handle numbers count up and are not given out again while any other number is free, so a
// stale copy of a closed handle fails instead of reaching the pipe that took its number.
//
// Every operation returns false (kInvalidHandle for Open) on failure and, when `failure` is
// given, says why there.
//
// Thread-safe: the table is guarded by a mutex, but transfers run outside it, so a thread
// blocked in BulkIn does not hold up a BulkOut or a vendor request on another thread.
// The backend must outlive the table.
class PipeTable {
 public:
  PipeTable(link::UsbBackend& backend, common::ProductConstants constants);
  ~PipeTable();

  PipeTable(const PipeTable&) = delete;
  PipeTable& operator=(const PipeTable&) = delete;

  // A new handle of `kind`, or kInvalidHandle when no adapter can be opened and claimed or the
  // table is full.
  int Open(PipeKind kind, PipeFailure* failure = nullptr);
  // False when `handle` is not an open handle of `kind`; the handle then stays as it was.
  bool Close(PipeKind kind, int handle, PipeFailure* failure = nullptr);

  // One transfer of at most kMaxTransferLength bytes. `count` is set to the bytes moved, also
  // when the transfer failed after moving part of them (a time-out halfway). A bulk-in handle
  // reads the bulk in endpoint, an interrupt-in handle the interrupt endpoint; a bulk-out
  // handle writes.
  bool BulkIn(int handle, std::span<std::uint8_t> buffer, std::uint32_t& count,
              PipeFailure* failure = nullptr);
  bool BulkOut(int handle, std::span<const std::uint8_t> data, std::uint32_t& count,
               PipeFailure* failure = nullptr);

  // Vendor control requests on a control handle; at most kMaxTransferLength bytes.
  bool VendorControlIn(int handle, const VendorRequest& request, std::span<std::uint8_t> buffer,
                       std::uint32_t& count, PipeFailure* failure = nullptr);
  bool VendorControlOut(int handle, const VendorRequest& request,
                        std::span<const std::uint8_t> data, std::uint32_t& count,
                        PipeFailure* failure = nullptr);

  // Shorter time-outs for a program that polls; each from 1 ms up to its default.
  bool SetTimeouts(PipeTimeouts timeouts, PipeFailure* failure = nullptr);
  PipeTimeouts timeouts() const;

  // Handles currently open, of all kinds.
  std::size_t OpenHandleCount() const;

 private:
  struct SharedDevice;
  struct Entry {
    PipeKind kind;
    std::shared_ptr<SharedDevice> device;
  };
  enum class Operation { kBulkIn, kBulkOut, kControlIn, kControlOut };
  struct OperationTraits;
  static OperationTraits TraitsOf(Operation operation);

  std::shared_ptr<SharedDevice> AcquireDevice(std::string_view routine, PipeFailure* failure);
  std::shared_ptr<SharedDevice> OpenAdapter(std::string_view routine, PipeFailure* failure);
  // The next number after the last one handed out that no open handle holds.
  int NextHandle() const;
  // The device behind `handle` when it is an open handle `operation` can use, else null with
  // the reason.
  std::shared_ptr<SharedDevice> Lookup(Operation operation, int handle, PipeKind* kind_found,
                                       PipeFailure* failure) const;
  // Refuses a size beyond one transfer, before anything else looks at the buffer.
  static bool FitsOneTransfer(Operation operation, std::size_t size, PipeFailure* failure);
  // Drops a transfer's reference under the lock, so the last release is serialised with opens.
  void Drop(std::shared_ptr<SharedDevice>& device);
  // Says why a transfer that returned `transfer` failed.
  bool TransferFailed(Operation operation, const link::UsbTransfer& transfer, std::size_t size,
                      unsigned timeout_ms, PipeFailure* failure) const;

  link::UsbBackend& backend_;
  const common::ProductConstants constants_;
  std::atomic<unsigned> transfer_timeout_ms_{kPipeTimeoutMs};
  std::atomic<unsigned> control_timeout_ms_{kControlTimeoutMs};

  mutable std::mutex mutex_;
  std::map<int, Entry> entries_;
  int last_handle_ = kFirstHandle - 1;
  std::weak_ptr<SharedDevice> device_;
};

// The exported routine an operation of the table stands for, for the texts of a failure.
std::string_view OpenRoutineName(PipeKind kind);
std::string_view CloseRoutineName(PipeKind kind);

}  // namespace cw::exports
