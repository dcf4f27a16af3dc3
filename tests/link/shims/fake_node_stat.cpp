// stat and access for the fake device nodes, so that a look at a node's rights (the doctor's)
// sees a character device with the mode the scenario gives; every other path goes to the real
// call.

#include <dlfcn.h>
#include <libusb.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include "fake_usb_world.h"

namespace {

struct FakeNode {
  unsigned mode;
  bool refused;
};

std::optional<FakeNode> Find(const char* path) {
  if (path == nullptr) return std::nullopt;
  std::lock_guard lock(cw::fake::WorldMutex());
  const auto& world = cw::fake::TheWorld();
  if (world.unplugged) return std::nullopt;
  for (const auto& node : world.hid) {
    if (node.path == path) return FakeNode{node.mode, node.open_errno == EACCES};
  }
  for (const auto& device : world.usb) {
    if (device.Node() == path) {
      return FakeNode{device.mode, device.open_error == LIBUSB_ERROR_ACCESS};
    }
  }
  return std::nullopt;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int stat(
    const char* __restrict path, struct stat* __restrict status) noexcept {
  if (const auto node = Find(path)) {
    *status = {};
    status->st_mode = S_IFCHR | node->mode;
    status->st_rdev = makedev(241, 3);
    status->st_uid = 0;
    status->st_gid = 0;
    return 0;
  }
  static const auto real =
      reinterpret_cast<int (*)(const char*, struct stat*)>(dlsym(RTLD_NEXT, "stat"));
  return real(path, status);
}

extern "C" __attribute__((visibility("default"))) int access(const char* path, int type) noexcept {
  if (const auto node = Find(path)) {
    if (node->refused) {
      errno = EACCES;
      return -1;
    }
    return 0;
  }
  static const auto real = reinterpret_cast<int (*)(const char*, int)>(dlsym(RTLD_NEXT, "access"));
  return real(path, type);
}
