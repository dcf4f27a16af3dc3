#pragma once

#include "common/clock.h"
#include "link/bus_lock.h"
#include "link/gauge_link.h"
#include "sim/sim_pack.h"
#include "support/recording_sinks.h"

namespace cw::bench {

// The system clock, counting every wait the protocol asked for: a benchmark divides the time
// it measured by this to see what the host adds.
class MandatedWaitClock final : public common::Clock {
 public:
  common::Millis Now() const override { return inner_.Now(); }
  void SleepFor(common::Millis duration) override {
    mandated_ += duration;
    inner_.SleepFor(duration);
  }
  common::Millis mandated() const { return mandated_; }
  void Reset() { mandated_ = common::Millis{0}; }

 private:
  common::SystemClock inner_;
  common::Millis mandated_{0};
};

// A gauge link on a simulated pack of `transport` adapters, opened and ready; `ready()` is false
// when the simulated adapter did not open.
struct SimLink {
  SimLink(common::Clock& clock, sim::SimAdapters transport = sim::SimAdapters::kHid)
      : options(sim::DefaultSimOptions(common::ProductConstants{}, transport)),
        pack(clock, options),
        link(pack.hid_backend(), pack.usb_backend(), clock, messages, lock) {
    link.connection().SetVendorId(options.constants.adapter_vendor_id);
  }
  bool ready() { return link.EnsureConnected(); }

  const sim::SimOptions options;
  sim::SimPack pack;
  cw::test::RecordingMessageSink messages;
  link::BusLock lock{link::BusLockNameNow()};
  link::GaugeLink link;
};

}  // namespace cw::bench
