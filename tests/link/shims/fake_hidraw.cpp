// open, ioctl and close for the fake hidraw nodes and the sysfs files hidapi reads; every other
// path and descriptor goes to the real call. A fake node is backed by a real descriptor of
// /dev/null, so a descriptor number is never shared with anything else while it is open.

// The fortified inline wrappers of <fcntl.h> would clash with the definition of open below.
#undef _FORTIFY_SOURCE

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <map>
#include <string>

#include "fake_usb_world.h"

namespace {

using cw::fake::FakeHidNode;
using cw::fake::World;

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int RealOpen(const char* path, int flags, mode_t mode) {
  static const auto real = Next<int (*)(const char*, int, ...)>("open");
  return real(path, flags, mode);
}

int RealClose(int fd) {
  static const auto real = Next<int (*)(int)>("close");
  return real(fd);
}

// Open fake nodes by descriptor. Guarded by the world's mutex. Never destroyed: descriptors are
// still closed while the process runs its exit handlers.
std::map<int, std::string>& OpenNodes() {
  static auto* nodes = new std::map<int, std::string>;
  return *nodes;
}

const FakeHidNode* NodeAt(const World& world, const std::string& path) {
  for (const auto& node : world.hid) {
    if (node.path == path) return &node;
  }
  return nullptr;
}

// A sysfs file of a fake node as an anonymous file holding its contents.
int ServeFile(const std::string& contents) {
  const int fd = memfd_create("cellwarden-fake-sysfs", MFD_CLOEXEC);
  if (fd < 0) return fd;
  if (write(fd, contents.data(), contents.size()) != static_cast<ssize_t>(contents.size()) ||
      lseek(fd, 0, SEEK_SET) != 0) {
    RealClose(fd);
    errno = EIO;
    return -1;
  }
  return fd;
}

// -1 with errno when the path belongs to the pretend bus and cannot be opened, a descriptor
// when it can, and -2 when the path is none of the shim's business.
int OpenFake(const std::string& path) {
  const std::string sysfs = cw::fake::kFakeSysfs;
  std::lock_guard lock(cw::fake::WorldMutex());
  World& world = cw::fake::TheWorld();
  if (path.starts_with(sysfs + "/")) {
    for (const auto& node : world.hid) {
      if (world.unplugged) break;
      if (path == node.syspath + "/device/uevent") return ServeFile(cw::fake::UeventOf(node));
      if (path == node.syspath + "/device/report_descriptor") {
        const auto bytes = cw::fake::ReportDescriptorOf(node);
        return ServeFile(std::string(bytes.begin(), bytes.end()));
      }
    }
    errno = ENOENT;
    return -1;
  }
  const FakeHidNode* node = NodeAt(world, path);
  if (node == nullptr) return -2;
  cw::fake::CountOpen(world, path);
  if (world.unplugged) {
    errno = ENOENT;
    return -1;
  }
  if (node->open_errno != 0) {
    errno = node->open_errno;
    return -1;
  }
  const int fd = RealOpen("/dev/null", O_RDWR | O_CLOEXEC, 0);
  if (fd >= 0) OpenNodes()[fd] = path;
  return fd;
}

// The feature report ioctls of one fake node. `timed_out` is set when the call would have
// waited the kernel's time-out.
int FeatureIoctl(unsigned long request, void* argument, bool& timed_out) {
  World& world = cw::fake::TheWorld();
  const unsigned number = _IOC_NR(request);
  const std::size_t length = _IOC_SIZE(request);
  auto* report = static_cast<std::uint8_t*>(argument);
  if (request == HIDIOCGRDESCSIZE) {
    // The size of the first node's descriptor is all hid_open_path wants to see.
    *static_cast<int*>(argument) = 18;
    return 0;
  }
  if (_IOC_TYPE(request) != 'H' || (number != 0x06 && number != 0x07)) {
    errno = EINVAL;
    return -1;
  }
  const bool set = number == 0x06;
  if (cw::fake::CountExchange(world)) {
    errno = ENODEV;
    return -1;
  }
  set ? ++world.set_reports : ++world.get_reports;
  if (const int error = set ? world.set_errno : world.get_errno; error != 0) {
    if (error == ETIMEDOUT) {
      ++world.timeouts;
      timed_out = true;
    }
    errno = error;
    return -1;
  }
  if (set) {
    cw::fake::AdapterSetFeature(world, report, length);
    return static_cast<int>(length);
  }
  cw::fake::AdapterGetFeature(world, report, length);
  if (world.get_length) return *world.get_length;
  return static_cast<int>(length);
}

}  // namespace

#define CW_EXPORT extern "C" __attribute__((visibility("default")))

CW_EXPORT int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list arguments;
    va_start(arguments, flags);
    mode = static_cast<mode_t>(va_arg(arguments, unsigned));
    va_end(arguments);
  }
  const int fake = OpenFake(path);
  if (fake != -2) return fake;
  return RealOpen(path, flags, mode);
}

CW_EXPORT int ioctl(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  bool timed_out = false;
  int result = 0;
  {
    std::lock_guard lock(cw::fake::WorldMutex());
    if (OpenNodes().count(fd) == 0) {
      static const auto real = Next<int (*)(int, unsigned long, ...)>("ioctl");
      return real(fd, request, argument);
    }
    result = FeatureIoctl(request, argument, timed_out);
  }
  const int error = errno;
  // Outside the lock: the hook runs the test's clock, which may take locks of its own.
  if (timed_out) cw::fake::ReportTimeout(cw::fake::kKernelControlTimeoutMs);
  errno = error;
  return result;
}

CW_EXPORT int close(int fd) {
  {
    std::lock_guard lock(cw::fake::WorldMutex());
    OpenNodes().erase(fd);
  }
  return RealClose(fd);
}
