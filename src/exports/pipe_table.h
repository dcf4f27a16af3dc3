#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "common/product_constants.h"
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

// The driver gave a pending pipe read or write 60 s and a pending control request 2 s.
inline constexpr unsigned kPipeTimeoutMs = 60000;
inline constexpr unsigned kControlTimeoutMs = 2000;

inline constexpr std::uint8_t kVendorOutRequestType = 0x40;  // vendor, device, host to device
inline constexpr std::uint8_t kVendorInRequestType = 0xC0;   // vendor, device, device to host

// Handles start at 1 so a caller that tests a handle for zero still sees a valid one; -1 is
// the failure value the original routines returned.
inline constexpr int kFirstHandle = 1;
inline constexpr int kInvalidHandle = -1;
inline constexpr std::size_t kMaxHandles = 64;

// Largest vendor control request: wLength is a 16-bit field of the setup packet.
inline constexpr std::size_t kMaxControlLength = 0xFFFF;

struct VendorRequest {
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
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
  int Open(PipeKind kind);
  // False when `handle` is not an open handle of `kind`; the handle then stays as it was.
  bool Close(PipeKind kind, int handle);

  // One transfer. `count` is set to the bytes moved, also when the transfer failed after moving
  // part of them (a time-out halfway). A bulk-in handle reads the bulk in endpoint, an
  // interrupt-in handle the interrupt endpoint; a bulk-out handle writes.
  bool BulkIn(int handle, std::span<std::uint8_t> buffer, std::uint32_t& count);
  bool BulkOut(int handle, std::span<const std::uint8_t> data, std::uint32_t& count);

  // Vendor control requests on a control handle; at most kMaxControlLength bytes.
  bool VendorControlIn(int handle, const VendorRequest& request, std::span<std::uint8_t> buffer,
                       std::uint32_t& count);
  bool VendorControlOut(int handle, const VendorRequest& request,
                        std::span<const std::uint8_t> data, std::uint32_t& count);

  // Handles currently open, of all kinds.
  std::size_t OpenHandleCount() const;

 private:
  struct SharedDevice;
  struct Entry {
    PipeKind kind;
    std::shared_ptr<SharedDevice> device;
  };

  std::shared_ptr<SharedDevice> AcquireDevice();
  std::shared_ptr<SharedDevice> OpenAdapter();
  // The device behind `handle` when it is an open handle of one of `kinds`, else null.
  std::shared_ptr<SharedDevice> Lookup(int handle, std::initializer_list<PipeKind> kinds,
                                       PipeKind* kind_found = nullptr) const;
  // Drops a transfer's reference under the lock, so the last release is serialised with opens.
  void Drop(std::shared_ptr<SharedDevice>& device);

  link::UsbBackend& backend_;
  const common::ProductConstants constants_;

  mutable std::mutex mutex_;
  std::vector<std::optional<Entry>> entries_;  // slot i holds handle kFirstHandle + i
  std::weak_ptr<SharedDevice> device_;
};

}  // namespace cw::exports
