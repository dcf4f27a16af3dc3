// Every bulk response packet the link decodes, with fuzzed contents.
#include "common/clock.h"
#include "common/null_sinks.h"
#include "fuzz_adapters.h"
#include "link/bus_lock.h"
#include "link_replies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace cw;
  fuzz::FuzzInput input({data, size});
  fuzz::NoHidBackend no_hid;
  fuzz::FuzzUsbBackend bulk(&input);
  common::ManualClock clock;
  common::NullMessageSink messages;
  link::BusLock lock("fuzz");
  link::GaugeLink link(no_hid, bulk, clock, messages, lock);
  fuzz::ExerciseReplies(link);
  return 0;
}
