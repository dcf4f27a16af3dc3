#include "exports/pipe_table.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>
#include <vector>

#include "exports/messages.h"

namespace cw::exports {

// The open adapter, shared by every handle. Releasing the interface before the device closes
// lets the next open in this process claim it again at once.
struct PipeTable::SharedDevice {
  explicit SharedDevice(std::unique_ptr<link::UsbDevice> opened) : usb(std::move(opened)) {}
  ~SharedDevice() { usb->ReleaseInterface(kPipeInterface); }

  SharedDevice(const SharedDevice&) = delete;
  SharedDevice& operator=(const SharedDevice&) = delete;

  std::unique_ptr<link::UsbDevice> usb;
};

namespace {

bool Fail(PipeFailure* failure, PipeFailureKind kind, std::string text) {
  if (failure != nullptr) *failure = {kind, std::move(text)};
  return false;
}

// What each kind of handle is called: its routines, and its name in a failure's text. In the
// order of PipeKind.
struct KindNames {
  std::string_view open;
  std::string_view close;
  std::string_view handle;
};
constexpr std::array<KindNames, 4> kKindNames = {{
    {"OpenUsbPort_Control", "CloseUsbPort_Control", messages::kControlHandle},
    {"OpenUsbPort_Bulkin", "CloseUsbPort_Bulkin", "a bulk-in handle"},
    {"OpenUsbPort_Bulkout", "CloseUsbPort_Bulkout", messages::kBulkOutHandle},
    {"OpenUsbPort_Interruptin", "CloseUsbPort_Interruptin", "an interrupt-in handle"},
}};

const KindNames& NamesOf(PipeKind kind) { return kKindNames.at(static_cast<std::size_t>(kind)); }

std::string Words(const link::AdapterFault& fault) {
  std::string words = link::DescribeFault(fault);
  return words.empty() ? std::string(messages::kNoReason) : words;
}

}  // namespace

std::string_view OpenRoutineName(PipeKind kind) { return NamesOf(kind).open; }
std::string_view CloseRoutineName(PipeKind kind) { return NamesOf(kind).close; }

PipeTable::PipeTable(link::UsbBackend& backend, common::ProductConstants constants)
    : backend_(backend), constants_(std::move(constants)) {}

PipeTable::~PipeTable() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

int PipeTable::Open(PipeKind kind, PipeFailure* failure) {
  const std::string_view routine = OpenRoutineName(kind);
  std::lock_guard lock(mutex_);
  if (entries_.size() >= kMaxHandles) {
    Fail(failure, PipeFailureKind::kHandleLimit,
         fmt::format(messages::kHandleLimit, routine, kMaxHandles));
    return kInvalidHandle;
  }
  std::shared_ptr<SharedDevice> device = AcquireDevice(routine, failure);
  if (!device) return kInvalidHandle;
  last_handle_ = NextHandle();
  entries_.emplace(last_handle_, Entry{kind, std::move(device)});
  return last_handle_;
}

int PipeTable::NextHandle() const {
  int candidate = last_handle_;
  do {
    candidate = candidate == std::numeric_limits<int>::max() ? kFirstHandle : candidate + 1;
  } while (entries_.contains(candidate));
  return candidate;
}

bool PipeTable::Close(PipeKind kind, int handle, PipeFailure* failure) {
  const std::string_view routine = CloseRoutineName(kind);
  std::lock_guard lock(mutex_);
  const auto found = entries_.find(handle);
  if (found == entries_.end()) {
    return Fail(failure, PipeFailureKind::kBadHandle,
                fmt::format(messages::kHandleNotOpen, routine, handle));
  }
  if (found->second.kind != kind) {
    return Fail(failure, PipeFailureKind::kBadHandle,
                fmt::format(messages::kWrongKind, routine, handle,
                            NamesOf(found->second.kind).handle, NamesOf(kind).handle));
  }
  // The last reference releases and closes the device here, under the lock.
  entries_.erase(found);
  return true;
}

std::shared_ptr<PipeTable::SharedDevice> PipeTable::AcquireDevice(std::string_view routine,
                                                                  PipeFailure* failure) {
  if (auto device = device_.lock()) return device;
  auto device = OpenAdapter(routine, failure);
  device_ = device;
  return device;
}

std::shared_ptr<PipeTable::SharedDevice> PipeTable::OpenAdapter(std::string_view routine,
                                                                PipeFailure* failure) {
  const std::optional<std::size_t> count = backend_.ListDevices();
  if (!count) {
    Fail(failure, PipeFailureKind::kNoAdapter,
         fmt::format("{}: the USB devices cannot be listed: {}", routine,
                     Words(backend_.LastFault())));
    return nullptr;
  }
  const std::uint16_t vendor = constants_.adapter_vendor_id;
  const std::uint16_t product = common::kBulkProductId;
  // When several adapters fail, the last one's reason is given: each was worth trying.
  PipeFailure why{PipeFailureKind::kNoAdapter,
                  fmt::format(messages::kNoAdapter, routine, vendor, product)};
  auto unusable = [&](link::FaultKind kind, const std::string& words) {
    switch (kind) {
      case link::FaultKind::kAccessDenied:
        why = {PipeFailureKind::kAccessDenied,
               fmt::format(messages::kAccessDenied, routine, vendor, product, words)};
        break;
      case link::FaultKind::kBusy:
        why = {PipeFailureKind::kAdapterBusy,
               fmt::format(messages::kAdapterBusy, routine, vendor, product, words)};
        break;
      default:
        why = {PipeFailureKind::kNoAdapter,
               fmt::format(messages::kCannotOpen, routine, vendor, product, words)};
        break;
    }
  };
  std::shared_ptr<SharedDevice> found;
  for (std::size_t index = 0; index < *count && !found; ++index) {
    const auto descriptor = backend_.ReadDeviceDescriptor(index);
    if (!descriptor || descriptor->vendor_id != vendor || descriptor->product_id != product) {
      continue;
    }
    std::unique_ptr<link::UsbDevice> usb = backend_.Open(index);
    if (!usb) {
      const link::AdapterFault fault = backend_.LastFault();
      unusable(fault.kind, Words(fault));
      continue;
    }
    if (usb->KernelDriverActive(kPipeInterface)) usb->DetachKernelDriver(kPipeInterface);
    // A device another program has claimed is no use to us; a second adapter may be free.
    if (const int claimed = usb->ClaimInterface(kPipeInterface); claimed < 0) {
      unusable(link::FaultKindOfUsbResult(claimed), backend_.ErrorText(claimed));
      continue;
    }
    found = std::make_shared<SharedDevice>(std::move(usb));
  }
  backend_.FreeDeviceList();
  if (!found && failure != nullptr) *failure = std::move(why);
  return found;
}

// What each operation is called and which handles it takes.
struct PipeTable::OperationTraits {
  std::string_view routine;
  std::span<const PipeKind> takes;
  std::string_view wanted;
};

PipeTable::OperationTraits PipeTable::TraitsOf(Operation operation) {
  static constexpr PipeKind kIn[] = {PipeKind::kBulkIn, PipeKind::kInterruptIn};
  static constexpr PipeKind kOut[] = {PipeKind::kBulkOut};
  static constexpr PipeKind kControl[] = {PipeKind::kControl};
  switch (operation) {
    case Operation::kBulkIn:
      return {"BulkIn", kIn, messages::kAnyInHandle};
    case Operation::kBulkOut:
      return {"BulkOut", kOut, messages::kBulkOutHandle};
    case Operation::kControlIn:
      return {"VendorControlIn", kControl, messages::kControlHandle};
    case Operation::kControlOut:
      return {"VendorControlOut", kControl, messages::kControlHandle};
  }
  return {"BulkIn", kIn, messages::kAnyInHandle};
}

std::shared_ptr<PipeTable::SharedDevice> PipeTable::Lookup(Operation operation, int handle,
                                                           PipeKind* kind_found,
                                                           PipeFailure* failure) const {
  const OperationTraits traits = TraitsOf(operation);
  std::lock_guard lock(mutex_);
  const auto found = entries_.find(handle);
  if (found == entries_.end()) {
    Fail(failure, PipeFailureKind::kBadHandle,
         fmt::format(messages::kHandleNotOpen, traits.routine, handle));
    return nullptr;
  }
  const Entry& entry = found->second;
  if (std::find(traits.takes.begin(), traits.takes.end(), entry.kind) == traits.takes.end()) {
    Fail(failure, PipeFailureKind::kBadHandle,
         fmt::format(messages::kWrongKind, traits.routine, handle, NamesOf(entry.kind).handle,
                     traits.wanted));
    return nullptr;
  }
  if (kind_found != nullptr) *kind_found = entry.kind;
  return entry.device;
}

bool PipeTable::FitsOneTransfer(Operation operation, std::size_t size, PipeFailure* failure) {
  if (size <= kMaxTransferLength) return true;
  return Fail(
      failure, PipeFailureKind::kTooLong,
      fmt::format(messages::kTooLong, TraitsOf(operation).routine, size, kMaxTransferLength));
}

void PipeTable::Drop(std::shared_ptr<SharedDevice>& device) {
  std::lock_guard lock(mutex_);
  device.reset();
}

bool PipeTable::TransferFailed(Operation operation, const link::UsbTransfer& transfer,
                               std::size_t size, unsigned timeout_ms, PipeFailure* failure) const {
  const std::string_view routine = TraitsOf(operation).routine;
  const std::string words = backend_.ErrorText(transfer.status);
  PipeFailure why;
  switch (link::FaultKindOfUsbResult(transfer.status)) {
    case link::FaultKind::kTimedOut:
      why = {PipeFailureKind::kTimedOut,
             fmt::format(messages::kTimedOut, routine, timeout_ms, words)};
      break;
    case link::FaultKind::kGone:
      why = {PipeFailureKind::kAdapterGone, fmt::format(messages::kAdapterGone, routine, words)};
      break;
    case link::FaultKind::kStalled:
      why = {PipeFailureKind::kRefused, fmt::format(messages::kRefused, routine, words)};
      break;
    default:
      why = {PipeFailureKind::kTransferFailed,
             fmt::format(messages::kTransferFailed, routine, words)};
      break;
  }
  if (transfer.transferred > 0) {
    why.text += fmt::format("; {} of {} bytes moved", transfer.transferred, size);
  }
  return Fail(failure, why.kind, std::move(why.text));
}

// A transfer that fails after moving part of the data (a time-out halfway) still reports that
// part: the caller may already have lost the bytes from the device otherwise.
bool PipeTable::BulkIn(int handle, std::span<std::uint8_t> buffer, std::uint32_t& count,
                       PipeFailure* failure) {
  count = 0;
  if (!FitsOneTransfer(Operation::kBulkIn, buffer.size(), failure)) return false;
  PipeKind kind = PipeKind::kBulkIn;
  auto device = Lookup(Operation::kBulkIn, handle, &kind, failure);
  if (!device) return false;
  const unsigned timeout_ms = transfer_timeout_ms_;
  const link::UsbTransfer transfer =
      kind == PipeKind::kInterruptIn
          ? device->usb->InterruptTransferCounted(kInterruptInEndpoint, buffer, timeout_ms)
          : device->usb->BulkTransferCounted(kBulkInEndpoint, buffer, timeout_ms);
  Drop(device);
  count = static_cast<std::uint32_t>(std::min(transfer.transferred, buffer.size()));
  if (transfer.status < 0) {
    return TransferFailed(Operation::kBulkIn, transfer, buffer.size(), timeout_ms, failure);
  }
  return true;
}

bool PipeTable::BulkOut(int handle, std::span<const std::uint8_t> data, std::uint32_t& count,
                        PipeFailure* failure) {
  count = 0;
  if (!FitsOneTransfer(Operation::kBulkOut, data.size(), failure)) return false;
  auto device = Lookup(Operation::kBulkOut, handle, nullptr, failure);
  if (!device) return false;
  // The backend takes a writable span for both directions; the caller's buffer is const.
  std::vector<std::uint8_t> packet(data.begin(), data.end());
  const unsigned timeout_ms = transfer_timeout_ms_;
  const link::UsbTransfer transfer =
      device->usb->BulkTransferCounted(kBulkOutEndpoint, packet, timeout_ms);
  Drop(device);
  count = static_cast<std::uint32_t>(std::min(transfer.transferred, data.size()));
  if (transfer.status < 0) {
    return TransferFailed(Operation::kBulkOut, transfer, data.size(), timeout_ms, failure);
  }
  return true;
}

bool PipeTable::VendorControlIn(int handle, const VendorRequest& request,
                                std::span<std::uint8_t> buffer, std::uint32_t& count,
                                PipeFailure* failure) {
  count = 0;
  if (!FitsOneTransfer(Operation::kControlIn, buffer.size(), failure)) return false;
  auto device = Lookup(Operation::kControlIn, handle, nullptr, failure);
  if (!device) return false;
  const unsigned timeout_ms = control_timeout_ms_;
  const int result = device->usb->ControlTransfer(kVendorInRequestType, request.request,
                                                  request.value, request.index, buffer, timeout_ms);
  Drop(device);
  if (result < 0) {
    return TransferFailed(Operation::kControlIn, {result, 0}, buffer.size(), timeout_ms, failure);
  }
  count = static_cast<std::uint32_t>(result);
  return true;
}

bool PipeTable::VendorControlOut(int handle, const VendorRequest& request,
                                 std::span<const std::uint8_t> data, std::uint32_t& count,
                                 PipeFailure* failure) {
  count = 0;
  if (!FitsOneTransfer(Operation::kControlOut, data.size(), failure)) return false;
  auto device = Lookup(Operation::kControlOut, handle, nullptr, failure);
  if (!device) return false;
  std::vector<std::uint8_t> payload(data.begin(), data.end());
  const unsigned timeout_ms = control_timeout_ms_;
  const int result = device->usb->ControlTransfer(
      kVendorOutRequestType, request.request, request.value, request.index, payload, timeout_ms);
  Drop(device);
  if (result < 0) {
    return TransferFailed(Operation::kControlOut, {result, 0}, data.size(), timeout_ms, failure);
  }
  count = static_cast<std::uint32_t>(result);
  return true;
}

bool PipeTable::SetTimeouts(PipeTimeouts timeouts, PipeFailure* failure) {
  // Zero would be no time limit at all to libusb.
  if (timeouts.transfer_ms == 0 || timeouts.transfer_ms > kPipeTimeoutMs ||
      timeouts.control_ms == 0 || timeouts.control_ms > kControlTimeoutMs) {
    return Fail(failure, PipeFailureKind::kBadArgument,
                fmt::format("{}: time-outs of {} ms and {} ms are out of range (1 to {} ms for "
                            "transfers, 1 to {} ms for "
                            "vendor requests)",
                            "CwPipesSetTimeouts", timeouts.transfer_ms, timeouts.control_ms,
                            kPipeTimeoutMs, kControlTimeoutMs));
  }
  transfer_timeout_ms_ = timeouts.transfer_ms;
  control_timeout_ms_ = timeouts.control_ms;
  return true;
}

PipeTimeouts PipeTable::timeouts() const { return {transfer_timeout_ms_, control_timeout_ms_}; }

std::size_t PipeTable::OpenHandleCount() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace cw::exports
