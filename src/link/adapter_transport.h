#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/function_ref.h"
#include "common/product_constants.h"
#include "link/adapter_fault.h"
#include "link/hid_backend.h"
#include "link/hid_protocol.h"
#include "link/usb_backend.h"

namespace cw::link {

enum class Transport : std::uint8_t { kBulk = 0, kHid = 1 };

// A report buffer large enough for every feature report of the adapter.
using HidReport = std::array<std::uint8_t, hid::kMaxReportLength>;

// What the adapter version request yields: five bytes and the text the About box shows.
struct AdapterVersion {
  std::array<std::uint8_t, 5> bytes{};
  std::string text;
};

// An adapter with the right ids that is there but could not be opened or claimed.
struct ConnectProblem {
  std::string node;  // "/dev/hidraw3", "/dev/bus/usb/001/005", or the ids without a node
  AdapterFault fault;
  bool operator==(const ConnectProblem&) const = default;
};

// The lowest layer of the gauge link: finds and opens the adapter (HID collections or the bulk
// interface), keeps the connection state and moves one SMBus exchange at a time as USB reports
// or packets. Not thread-safe by itself: every call runs under the bus lock or from the one
// thread that has the bus at that moment.
class AdapterTransport {
 public:
  AdapterTransport(HidBackend& hid, UsbBackend& usb, common::Clock& clock);
  ~AdapterTransport();
  AdapterTransport(const AdapterTransport&) = delete;
  AdapterTransport& operator=(const AdapterTransport&) = delete;

  // --- connection fields ---
  Transport transport() const { return transport_; }
  bool connected() const { return connected_; }
  void ClearConnected() { connected_ = false; }
  void SetVendorId(std::uint16_t id) { vendor_id_ = id; }
  void SetHidProductId(std::uint16_t id) { hid_product_id_ = id; }
  void SetBulkProductId(std::uint16_t id) { bulk_product_id_ = id; }
  void SetSerialPrefix(std::string prefix) { serial_prefix_ = std::move(prefix); }
  std::uint16_t vendor_id() const { return vendor_id_; }
  std::uint16_t hid_product_id() const { return hid_product_id_; }
  std::uint16_t bulk_product_id() const { return bulk_product_id_; }
  const std::string& serial_prefix() const { return serial_prefix_; }

  // Opens the transport not used last when the connection dropped; false when neither opens.
  // Starts every attempt, so it also forgets the fault of the previous exchange.
  bool EnsureConnected();
  bool OpenHidAdapter();
  bool OpenBulkAdapter();

  // Adapters that were found but could not be used by the last open (empty: none was found, or
  // the open succeeded).
  const std::vector<ConnectProblem>& connect_problems() const { return connect_problems_; }
  // Why the last failed exchange since EnsureConnected failed; kNone when none failed or when
  // only the gauge refused. A time-out here means the transaction must end.
  const AdapterFault& exchange_fault() const { return fault_; }
  // The device node of the open adapter, for messages.
  const std::string& adapter_node() const;
  HidBackend& hid_backend() { return hid_; }
  UsbBackend& usb_backend() { return usb_; }
  // Reports adapter arrival and removal (libusb hot-plug); never used to reconnect.
  bool RegisterDeviceNotifications(std::function<void(UsbHotplugEvent)> callback);

  // --- HID exchanges; byte 0 of every report is its id ---
  bool HidSend(std::span<const std::uint8_t> request);
  bool HidSendQuick(std::span<const std::uint8_t> request);
  // `report` holds the data from byte 1; the id and length follow from `count`.
  bool HidSendData(std::size_t count, HidReport& report);
  bool HidSendDataQuick(std::size_t count, HidReport& report);
  // The gauge's status of the last write; nullopt when the exchange failed.
  std::optional<std::uint8_t> HidFetchStatus();
  std::optional<std::uint8_t> HidSendChecked(std::span<const std::uint8_t> request);
  // Header out, response in; `count` is the position of the status byte (bytes to read + 1).
  bool HidTransact(std::span<const std::uint8_t> request, std::size_t count, HidReport& response);
  bool HidTransactFast(std::span<const std::uint8_t> request, std::size_t count,
                       HidReport& response);
  bool HidTransactNoWait(std::span<const std::uint8_t> request, std::size_t count,
                         HidReport& response);

  // --- bulk exchanges ---
  // Reads `out.size()` bytes the gauge returns for `command`.
  bool BulkReadCommand(std::uint8_t command, std::span<std::uint8_t> out);
  // Writes `data` after `command`; the adapter-level PEC is appended.
  bool BulkWriteCommand(std::uint8_t command, common::ByteView data);

  std::optional<AdapterVersion> ReadAdapterVersion();

  // An unplugged adapter must not hang the program: every bulk command transfer gives up after
  // this long (the adapter answers within a few milliseconds when present).
  static constexpr unsigned kBulkCommandTimeoutMs = 1000;
  // The adapter's version reply may take longer while it boots.
  static constexpr unsigned kBulkVersionTimeoutMs = 5000;
  // The kernel gives every HID feature report this long (its USB control time-out) before it
  // fails the ioctl, and hidapi has no way to ask for less. Not ours to wait: it is spent inside
  // the library, which is why a report that timed out is never tried again.
  static constexpr common::Millis kHidKernelTimeout{5000};

 private:
  struct ExchangeWaits {
    common::Millis after_failed_set;
    common::Millis after_failed_get;
  };
  bool OpenHid();
  bool OpenBulk();
  HidCollection* CollectionFor(std::uint8_t report_id);
  bool TryReport(std::uint8_t report_id, common::Millis wait_after_failure,
                 common::FunctionRef<bool(HidCollection&)> exchange);
  bool SetReport(std::span<const std::uint8_t> report, common::Millis wait_after_failure);
  bool GetReport(std::span<std::uint8_t> report, common::Millis wait_after_failure);
  bool Transact(std::span<const std::uint8_t> request, std::size_t count, HidReport& response,
                ExchangeWaits waits, common::Millis between);
  bool BulkExchange(std::span<std::uint8_t, 64> packet, unsigned timeout_ms);
  bool BulkTransferWhole(std::uint8_t endpoint, std::span<std::uint8_t, 64> packet,
                         unsigned timeout_ms);
  bool DropBulk();
  void CloseHidCollections();
  void CloseBulkDevice();
  void Wait(common::Millis duration);

  HidBackend& hid_;
  UsbBackend& usb_;
  common::Clock& clock_;

  Transport transport_ = Transport::kHid;
  bool connected_ = false;
  std::uint16_t vendor_id_ = common::ProductConstants{}.adapter_vendor_id;
  std::uint16_t hid_product_id_ = common::kHidProductId;
  std::uint16_t bulk_product_id_ = common::kBulkProductId;
  std::unique_ptr<UsbDevice> bulk_device_;
  std::string serial_prefix_ = common::kDefaultSerialPrefix;
  // Slots of the usage table. Collections on one node share its one open handle.
  std::array<std::shared_ptr<HidCollection>, hid::kUsageTable.size()> collections_;
  std::string hid_node_;
  std::string bulk_node_;
  std::vector<ConnectProblem> connect_problems_;
  AdapterFault fault_;
};

// Waits of one HID exchange, by the header's write count W, read count R and response size N.
common::Millis TransactSettleTime(std::uint8_t write_count, std::uint8_t read_count,
                                  std::size_t count);
common::Millis TransactFastSettleTime(std::uint8_t write_count, std::size_t count);
common::Millis SendCheckedSettleTime(std::uint8_t write_count);

}  // namespace cw::link
