#include "link/hidapi_backend.h"

#include <fmt/format.h>
#include <hidapi/hidapi.h>

#include <cerrno>
#include <mutex>
#include <system_error>

#include "link/messages.h"

namespace cw::link {
namespace {

// hidapi's texts are wide strings made from plain ASCII messages and file names; anything else
// is shown as '?' rather than guessed at.
std::string Narrow(const wchar_t* text) {
  std::string narrow;
  if (text == nullptr) return narrow;
  for (; *text != L'\0'; ++text) {
    narrow.push_back(*text > 0 && *text < 0x80 ? static_cast<char>(*text) : '?');
  }
  return narrow;
}

// Called right after the failing hidapi call: hidapi formats its message from errno and leaves
// errno as the system call set it.
AdapterFault FaultOf(int error, const wchar_t* library_text) {
  return {FaultKindOfErrno(error),
          error != 0 ? std::generic_category().message(error) : std::string(),
          Narrow(library_text)};
}

// hidapi keeps one process-wide error text that hid_init, hid_enumerate and hid_open_path free
// and replace without a lock of their own, and that hid_error(nullptr) reads: two threads
// enumerating or opening at once could free it under each other. Those calls take this lock.
// Reports on an open device keep their error text in the device and never take it, so the
// exchanges of two adapters never wait on each other.
std::mutex& LibraryLock() {
  static std::mutex lock;
  return lock;
}

class HidapiCollection final : public HidCollection {
 public:
  explicit HidapiCollection(hid_device* device) : device_(device) {}
  ~HidapiCollection() override { hid_close(device_); }

  HidapiCollection(const HidapiCollection&) = delete;
  HidapiCollection& operator=(const HidapiCollection&) = delete;

  bool SetFeature(std::span<const std::uint8_t> report) override {
    // Byte 0 is the report id: a report without it cannot be addressed.
    if (report.empty()) return Refuse(messages::kEmptyReport);
    errno = 0;
    const int result = hid_send_feature_report(device_, report.data(), report.size());
    if (result < 0) return Failed(errno);
    if (static_cast<std::size_t>(result) < report.size()) return Short(result, report.size());
    return true;
  }

  bool GetFeature(std::span<std::uint8_t> report) override {
    if (report.empty()) return Refuse(messages::kEmptyReport);
    errno = 0;
    const int result = hid_get_feature_report(device_, report.data(), report.size());
    if (result < 0) return Failed(errno);
    // hidraw counts the report id; the adapter always sends the whole report, so anything less
    // leaves bytes of the buffer that the adapter never wrote.
    if (static_cast<std::size_t>(result) < report.size()) return Short(result, report.size());
    return true;
  }

  AdapterFault LastFault() const override { return fault_; }

 private:
  bool Failed(int error) {
    fault_ = FaultOf(error, hid_error(device_));
    return false;
  }
  bool Short(int received, std::size_t expected) {
    fault_ = {FaultKind::kShortReply, fmt::format(messages::kShortReply, received, expected), {}};
    return false;
  }
  bool Refuse(std::string_view why) {
    fault_ = {FaultKind::kOther, std::string(why), {}};
    return false;
  }

  hid_device* device_;
  AdapterFault fault_;
};

}  // namespace

HidapiBackend::HidapiBackend(std::optional<std::uint16_t> vendor_id) : vendor_id_(vendor_id) {
  const std::lock_guard lock(LibraryLock());
  initialised_ = hid_init() == 0;
  if (!initialised_) open_fault_ = FaultOf(0, hid_error(nullptr));
}

// hid_exit() is deliberately not called: it tears down hidapi for the whole process, and
// another backend object (or collections opened through this one) may still be in use. With
// hidraw it only frees an error string, so skipping it loses nothing.
HidapiBackend::~HidapiBackend() = default;

std::vector<HidCollectionInfo> HidapiBackend::Enumerate() {
  return List(vendor_id_.value_or(0), 0);
}

std::vector<HidCollectionInfo> HidapiBackend::EnumerateMatching(std::uint16_t vendor_id,
                                                                std::uint16_t product_id) {
  return List(vendor_id, product_id);
}

// hidapi compares the ids from the device's uevent before it reads a report descriptor, so a
// filtered list never touches another vendor's devices beyond that.
std::vector<HidCollectionInfo> HidapiBackend::List(std::uint16_t vendor_id,
                                                   std::uint16_t product_id) {
  std::vector<HidCollectionInfo> collections;
  if (!initialised_) return collections;
  const std::lock_guard lock(LibraryLock());
  hid_device_info* list = hid_enumerate(vendor_id, product_id);
  for (const hid_device_info* entry = list; entry != nullptr; entry = entry->next) {
    HidCollectionInfo info;
    if (entry->path != nullptr) info.path = entry->path;
    info.vendor_id = entry->vendor_id;
    info.product_id = entry->product_id;
    info.usage_page = entry->usage_page;
    info.usage = entry->usage;
    info.serial = Narrow(entry->serial_number);
    collections.push_back(std::move(info));
  }
  hid_free_enumeration(list);
  return collections;
}

std::unique_ptr<HidCollection> HidapiBackend::Open(const HidCollectionInfo& info) {
  if (!initialised_) return nullptr;  // open_fault_ says why since construction
  if (info.path.empty()) {
    open_fault_ = {FaultKind::kOther, std::string("no device path"), {}};
    return nullptr;
  }
  const std::lock_guard lock(LibraryLock());
  errno = 0;
  hid_device* device = hid_open_path(info.path.c_str());
  if (device == nullptr) {
    open_fault_ = FaultOf(errno, hid_error(nullptr));
    return nullptr;
  }
  open_fault_ = {};
  return std::make_unique<HidapiCollection>(device);
}

}  // namespace cw::link
