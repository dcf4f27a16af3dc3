// Every HID response the link decodes, with fuzzed contents.
#include "common/clock.h"
#include "common/null_sinks.h"
#include "fuzz_adapters.h"
#include "link/bus_lock.h"
#include "link_replies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cw;
  fuzz::FuzzInput input({data, size});
  fuzz::FuzzHidBackend hid(input);
  fuzz::FuzzUsbBackend no_bulk;
  common::ManualClock clock;
  common::NullMessageSink messages;
  link::BusLock lock("fuzz");
  link::GaugeLink link(hid, no_bulk, clock, messages, lock);
  link.OpenHidAdapter();
  fuzz::ExerciseReplies(link);
  return 0;
}
