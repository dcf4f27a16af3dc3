#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "common/product_constants.h"
#include "link/adapter_fault.h"
#include "link/adapter_protocol.h"
#include "link/adapter_seen.h"
#include "link/bulk_protocol.h"
#include "link/hid_backend.h"
#include "link/hid_protocol.h"
#include "link/transport.h"
#include "link/usb_backend.h"

namespace cw::link {

// An adapter with the right ids that is there but could not be opened or claimed.
struct ConnectProblem {
  std::string node;  // "/dev/hidraw3", "/dev/bus/usb/001/005", or the ids without a node
  AdapterFault fault;
  bool operator==(const ConnectProblem&) const = default;
};

// The lowest layer of the gauge link: finds and opens the adapter (HID collections or the bulk
// interface), keeps the connection state and hands out the protocol of the adapter it opened.
// Not thread-safe by itself: every call runs under the bus lock or from the one thread that has
// the bus at that moment.
class AdapterConnection {
 public:
  AdapterConnection(HidBackend& hid, UsbBackend& usb, common::Clock& clock);
  AdapterConnection(const AdapterConnection&) = delete;
  AdapterConnection& operator=(const AdapterConnection&) = delete;

  // --- connection fields ---
  Transport transport() const { return transport_; }
  bool connected() const { return state_.connected; }
  void ClearConnected() { state_.connected = false; }
  void SetVendorId(std::uint16_t id) { vendor_id_ = id; }
  void SetHidProductId(std::uint16_t id) { hid_product_id_ = id; }
  void SetBulkProductId(std::uint16_t id) { bulk_product_id_ = id; }
  void SetSerialPrefix(std::string prefix) { serial_prefix_ = std::move(prefix); }
  std::uint16_t vendor_id() const { return vendor_id_; }
  std::uint16_t hid_product_id() const { return hid_product_id_; }
  std::uint16_t bulk_product_id() const { return bulk_product_id_; }
  const std::string& serial_prefix() const { return serial_prefix_; }
  // Which adapter the opens below may use; applied before the first open.
  void SetChoice(AdapterChoice choice) { choice_ = std::move(choice); }
  const AdapterChoice& choice() const { return choice_; }
  // The "PID/SN Cfg:" entry changes the id of the transport in use: on HID a hex product id, on
  // bulk the serial prefix after the first two characters ("0x8888" -> "8888"). False when the
  // HID text is no number; otherwise the connection is dropped so the next attempt reopens.
  bool SetAdapterId(std::string_view text);

  // Opens the transport not used last when the connection dropped; false when neither opens.
  // Starts every attempt, so it also forgets the fault of the previous exchange.
  bool EnsureConnected();
  bool OpenHidAdapter();
  bool OpenBulkAdapter();

  // The framing of the transport in use.
  AdapterProtocol& protocol();

  // Adapters that were found but could not be used by the last open (empty: none was found, or
  // the open succeeded).
  const std::vector<ConnectProblem>& connect_problems() const { return connect_problems_; }
  // The last open failed because no adapter plugged in is the one the choice names, or more
  // than one of a kind is; the first connect problem then says which were found.
  bool choice_unmatched() const { return choice_unmatched_; }
  // Why the last failed exchange since EnsureConnected failed; kNone when none failed or when
  // only the gauge refused. A time-out here means the transaction must end.
  const AdapterFault& exchange_fault() const { return state_.fault; }
  // The device node of the open adapter, for messages.
  const std::string& adapter_node() const;
  HidBackend& hid_backend() { return hid_; }
  UsbBackend& usb_backend() { return usb_; }
  // Reports adapter arrival and removal (libusb hot-plug); never used to reconnect.
  bool RegisterDeviceNotifications(std::function<void(UsbHotplugEvent)> callback);

 private:
  void BeginOpen();
  // Ends an open of the connection's own: a choice that named nothing (or several) is the
  // first problem, and the reason the open failed.
  bool EndOpen(bool opened);
  bool MayUse(Transport transport) const;
  bool OpenHid();
  bool OpenBulk();
  void CloseBulkDevice();

  HidBackend& hid_;
  UsbBackend& usb_;

  Transport transport_ = Transport::kHid;
  std::uint16_t vendor_id_ = common::ProductConstants{}.adapter_vendor_id;
  std::uint16_t hid_product_id_ = common::kHidProductId;
  std::uint16_t bulk_product_id_ = common::kBulkProductId;
  std::string serial_prefix_ = common::kDefaultSerialPrefix;
  std::string hid_node_;
  std::string bulk_node_;
  std::vector<ConnectProblem> connect_problems_;
  AdapterChoice choice_;
  std::vector<AdapterSeen> seen_;  // the product's adapters the last open saw
  int hid_matches_ = 0;
  int bulk_matches_ = 0;
  std::vector<std::string> ambiguous_;  // the nodes of a kind the choice named more than one of
  bool choice_unmatched_ = false;
  ConnectionState state_;
  // Each keeps the handles of its last open until the next open of its kind (or the end), so
  // the HID collections stay open while the bulk adapter is in use and the other way round.
  // Declared after state_, which they write; the bulk device is closed before the collections.
  HidProtocol hid_protocol_;
  BulkProtocol bulk_protocol_;
};

}  // namespace cw::link
