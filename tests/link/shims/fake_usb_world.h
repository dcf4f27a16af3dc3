#pragma once

// The pretend USB bus behind the fake libudev, the hidraw open/ioctl shim and the fake libusb:
// which hidraw nodes and USB devices exist, how the adapter on them answers, and which faults
// it shows. Loaded into a test process with LD_PRELOAD, so hidapi and libusb calls from the
// product land here without any hardware.
//
// A scenario is a text of items separated by ';' (from the environment variable CW_FAKE_USB, or
// cw_fake_usb_configure):
//   hid PATH VID:PID [serial=TEXT] [page=HEX] [usages=1,2,...] [open-errno=N] [mode=OCTAL]
//       a hidraw node with one top-level collection per usage (default: the adapter's 13 on
//       page FF00); open-errno makes open() of the node fail with that errno
//   usb BUS/ADDRESS VID:PID [serial=TEXT] [open-error=N] [claim-error=N] [kernel-driver]
//       [mode=OCTAL]
//       a device on libusb's list, node /dev/bus/usb/BUS/ADDRESS; the errors are libusb
//       result codes
// Nodes are character devices of root:root with the mode given (default 0660); access()
// refuses them when their open would be refused.
//   set-errno N | get-errno N       every SFEATURE / GFEATURE ioctl fails with errno N
//   get-length N                    every GFEATURE returns only N bytes
//   unplug-after N                  after N feature ioctls or bulk transfers everything is gone
//   bulk-in-error N [partial=M]     every bulk in transfer fails with libusb code N after M bytes
//   word HEX                        the value every word read returns (default 1234)
// A time-out (ETIMEDOUT, LIBUSB_ERROR_TIMEOUT) calls the time-out hook with the time the real
// kernel or libusb would have waited, so a test's manual clock can account for it.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace cw::fake {

// The kernel's USB control time-out: what one hidraw feature ioctl waits before ETIMEDOUT.
inline constexpr unsigned kKernelControlTimeoutMs = 5000;

struct FakeCollection {
  std::uint16_t usage_page = 0;
  std::uint16_t usage = 0;
};

struct FakeHidNode {
  std::string path;  // "/dev/hidraw3"
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::string serial;
  std::vector<FakeCollection> collections;
  int open_errno = 0;
  unsigned mode = 0660;
  std::string syspath;  // under kFakeSysfs
};

struct FakeUsbDevice {
  std::uint8_t bus = 1;
  std::uint8_t address = 1;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::string serial;
  int open_error = 0;
  int claim_error = 0;
  bool kernel_driver = false;
  unsigned mode = 0660;
  std::string Node() const;
};

// What the adapter answers next on a get-feature or a bulk in transfer.
struct PendingReply {
  std::vector<std::uint8_t> bytes;  // from byte 1 of the report, or the whole packet
};

struct World {
  std::vector<FakeHidNode> hid;
  std::vector<FakeUsbDevice> usb;
  int set_errno = 0;
  int get_errno = 0;
  std::optional<int> get_length;
  std::optional<int> unplug_after;
  int bulk_in_error = 0;
  int bulk_in_partial = 0;
  std::uint16_t word = 0x1234;

  bool unplugged = false;
  PendingReply hid_reply;
  std::vector<std::uint8_t> bulk_request;

  // Counters the tests read.
  std::vector<std::pair<std::string, int>> opens;  // open() calls per node path
  int set_reports = 0;
  int get_reports = 0;
  int timeouts = 0;
  int bulk_transfers = 0;
  int claims = 0;
  int usb_opens = 0;
};

// Directory the fake udev reports as the hidraw devices' sysfs paths; open() of the uevent and
// report descriptor files below it is served from the world.
inline constexpr const char* kFakeSysfs = "/sys/devices/cellwarden-fake";

// The one world of the process, created from CW_FAKE_USB on first use. Every access holds Lock.
World& TheWorld();
std::mutex& WorldMutex();

// Replaces the world with `scenario`; false when the text does not parse.
bool Configure(const std::string& scenario);

// Counts one feature ioctl or bulk transfer toward unplug-after; true when the bus is gone.
bool CountExchange(World& world);
void CountOpen(World& world, const std::string& path);
// Tells the test that a time-out of `ms` would have been waited for (outside the world lock).
void ReportTimeout(unsigned ms);

// Contents of the sysfs files hidapi reads.
std::string UeventOf(const FakeHidNode& node);
std::vector<std::uint8_t> ReportDescriptorOf(const FakeHidNode& node);

// The adapter's side of the HID reports and bulk packets (a small model: word reads, writes
// acknowledged, the status fetch and the version request).
void AdapterSetFeature(World& world, const std::uint8_t* report, std::size_t length);
void AdapterGetFeature(World& world, std::uint8_t* report, std::size_t length);
void AdapterBulkOut(World& world, const std::uint8_t* packet, std::size_t length);
void AdapterBulkIn(World& world, std::uint8_t* packet, std::size_t length);

}  // namespace cw::fake
