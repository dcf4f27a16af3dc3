#pragma once

#include <stop_token>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/error.h"
#include "common/function_ref.h"
#include "common/product_constants.h"
#include "link/gauge_link.h"

// The firmware update, whole, on the caller's thread: what the firmware window's job, `fw update`
// and a station's firmware step all run.
namespace cw::firmware {

inline constexpr int kUpdateRestarts = 2;
// The gauge restarts its firmware after leaving update mode before it answers again.
inline constexpr common::Millis kFirmwareStart{500};

// What an update has just done, as it tells its caller.
struct UpdateStep {
  enum class Kind {
    kHandshake,  // a pass begins: the boot loader took the handshake (`sent` is 0)
    kRecord,     // `sent` records of this pass are in the gauge
    kRestart,    // a transfer fault: the update begins again from the handshake
    kFailure,    // the update ends on an error
    kDone,       // the firmware answers again and holds the last record
  };
  Kind kind = Kind::kHandshake;
  int sent = 0;   // records of the pass under way
  int total = 0;  // records of the image
  // The status text: empty while all goes well, then why the update restarted, then why it
  // failed.
  std::string_view status;
};
using UpdateProgress = common::FunctionRef<void(const UpdateStep&)>;

// The bar and the counter a front end shows of an update, moved on by its steps: the counter
// follows the pass under way and stays where a failure left it; the bar is full at the end, a
// failed end too.
struct UpdateBar {
  int percent = 0;
  std::string counter;  // "sent/total"; empty before the first handshake
  void Take(const UpdateStep& step);
};

// A done update: the note that says how often it began again (empty without a restart).
struct UpdateDone {
  std::string note;
};

// Sends `image` record by record through the gauge's boot loader. After a fault that spoilt or
// lost a transfer it begins again from the handshake, at most kUpdateRestarts times. It is done
// only once the gauge answers from its firmware after leaving update mode and holds the last
// record. `stop` is looked at only between records (never inside a record or its status poll);
// once every record is in, leaving update mode is the safe way on. An image the boot loader
// could not carry out to its end is refused before anything is sent (kRefused).
//
// The error's words say what state the pack is left in: kStopped for a stop ("stopped after N
// of M records: the pack waits in its boot loader ..."), kBootLoader where the pack waits in its
// boot loader, kMismatch where the last record does not read back, kFailed otherwise.
common::Expected<UpdateDone> UpdateGauge(link::GaugeLink& link, const common::Bytes& image,
                                         const common::ProductConstants& constants,
                                         std::stop_token stop, UpdateProgress progress);

}  // namespace cw::firmware
