#pragma once

#include <stop_token>
#include <string>

#include "common/bytes.h"
#include "common/front_end.h"
#include "firmware/gauge_update.h"
#include "firmware/tool_job.h"

namespace cw::firmware {

// What the "Firmware Update" group shows of the update, besides its bar.
struct UpdateView : JobView {
  bool failed = false;       // the last update stopped on an error
  std::string status_text;   // status label
  std::string counter_text;  // "sent/total"
};

// The firmware update of the window: UpdateGauge with the loaded image, on the firmware tool's
// worker, its steps shown in the view. A failure's status text stays in the view; its message
// says what state the pack is left in.
class UpdateJob final : public ToolJob<UpdateView> {
 public:
  explicit UpdateJob(FirmwareTool& tool);

  // Hands the update to the worker: done means it started (its own outcome arrives in the view
  // when it ends); refused comes with the message that says why not. A press while it runs is
  // ignored.
  common::Outcome Start();

 private:
  void Run(std::stop_token stop, const common::Bytes& image);
  void Show(const UpdateStep& step, UpdateBar& bar);
};

}  // namespace cw::firmware
