#pragma once

#include <optional>
#include <stop_token>
#include <string>

#include "common/bytes.h"
#include "common/front_end.h"
#include "firmware/tool_job.h"
#include "link/gauge_link.h"

namespace cw::firmware {

inline constexpr int kUpdateRestarts = 2;

// What the "Firmware Update" group shows of the update, besides its bar.
struct UpdateView : JobView {
  bool failed = false;       // the last update stopped on an error
  std::string status_text;   // status label
  std::string counter_text;  // "sent/total"
};

// The firmware update: the loaded image, record by record, through the gauge's boot loader, on
// the firmware tool's worker. It restarts from the handshake after a fault that spoilt or lost a
// transfer, at most kUpdateRestarts times, saying so in the status text. It is done only once the
// gauge answers from its firmware after leaving update mode and holds the last record; a failure
// says what state the pack is left in.
class UpdateJob final : public ToolJob<UpdateView> {
 public:
  explicit UpdateJob(FirmwareTool& tool);

  // Hands the update to the worker: done means it started (its own outcome arrives in the view
  // when it ends); refused comes with the message that says why not. A press while it runs is
  // ignored.
  common::Outcome Start();

 private:
  // One pass of an update: handshake and records. Nothing when a stop was requested meanwhile.
  struct Pass {
    link::IspResult result;
    int sent = 0;
  };
  // How far the update got over all its passes: each pass starts again at the first record, so
  // the gauge holds what the furthest one wrote.
  struct Reach {
    bool handshake_sent = false;
    int furthest = 0;
  };
  // How the last record compares with what the gauge holds.
  enum class ReadBack { kMatches, kDiffers, kUnread };

  void Run(std::stop_token stop, const common::Bytes& image);
  JobRun RunUpdate(std::stop_token stop, const common::Bytes& image);
  std::optional<Pass> SendImage(std::stop_token stop, const common::Bytes& image,
                                const std::string& status_after_handshake, Reach& reach);
  // What a stop at a record boundary leaves the pack in.
  JobRun Stopped(const Reach& reach) const;
  // The progress message of the update.
  void Progress(int sent);
  // The status text a failed primitive leaves.
  static std::string StatusText(const link::IspResult& result);
  void SetStatusText(const std::string& status);
  void Fail(const std::string& status);
  // Whether sending the image again may go through: the fault spoilt or lost one transfer and
  // the adapter is still there.
  bool Transient(const link::IspResult& result);
  // Whether the gauge answers a word read, which only its firmware does.
  bool FirmwareAnswers();
  // A lost record shows as a sequence error on the next one, except the last: whether the bytes
  // of the last record, when it is a data record, read back from the gauge as the image has
  // them (a record that is no data record matches).
  ReadBack LastRecordReadsBack(const common::Bytes& image);

  int total_blocks_ = 0;  // of the running update; its worker's own
};

}  // namespace cw::firmware
