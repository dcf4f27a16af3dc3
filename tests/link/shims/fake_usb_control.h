#pragma once

// What a test process calls in the preloaded fake USB shim. The test looks the functions up at
// run time (FakeUsb below): when the shim is not preloaded they are missing, and the test says
// so instead of talking to whatever the machine has plugged in.

#ifdef __cplusplus
extern "C" {
#endif

// Replaces the pretend bus with a scenario (see fake_usb_world.h); 0 when it does not parse.
int cw_fake_usb_configure(const char* scenario);
// "set", "get", "timeouts", "bulk", "claims", "usb-opens"; -1 for an unknown name.
int cw_fake_usb_counter(const char* name);
// How often open() was called on `path`.
int cw_fake_usb_opens(const char* path);
// Called with the milliseconds a time-out would have taken in the kernel or libusb.
void cw_fake_usb_set_timeout_hook(void (*hook)(unsigned ms, void* context), void* context);

#ifdef __cplusplus
}

#include <dlfcn.h>

#include <string>

namespace cw::fake {

// The shim's control functions as found in this process; `loaded` is false without the shim.
struct FakeUsb {
  decltype(&cw_fake_usb_configure) configure = nullptr;
  decltype(&cw_fake_usb_counter) counter = nullptr;
  decltype(&cw_fake_usb_opens) opens = nullptr;
  decltype(&cw_fake_usb_set_timeout_hook) set_timeout_hook = nullptr;
  bool loaded = false;

  static FakeUsb Find() {
    FakeUsb shim;
    shim.configure =
        reinterpret_cast<decltype(configure)>(dlsym(RTLD_DEFAULT, "cw_fake_usb_configure"));
    shim.counter = reinterpret_cast<decltype(counter)>(dlsym(RTLD_DEFAULT, "cw_fake_usb_counter"));
    shim.opens = reinterpret_cast<decltype(opens)>(dlsym(RTLD_DEFAULT, "cw_fake_usb_opens"));
    shim.set_timeout_hook = reinterpret_cast<decltype(set_timeout_hook)>(
        dlsym(RTLD_DEFAULT, "cw_fake_usb_set_timeout_hook"));
    shim.loaded = shim.configure && shim.counter && shim.opens && shim.set_timeout_hook;
    return shim;
  }
  int Counter(const std::string& name) const { return counter(name.c_str()); }
  int Opens(const std::string& path) const { return opens(path.c_str()); }
};

}  // namespace cw::fake
#endif
