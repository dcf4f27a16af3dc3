#pragma once

#include <functional>

namespace cw::app {

// The four pages behind the image buttons. Only the calibration page refreshes itself, and
// only while it is the page shown.
enum class Page { kSbs = 0, kDataFlash = 1, kCalibration = 2, kSmbAccess = 3 };

class PageSelector {
 public:
  // `calibration_refresh(true)` starts the calibration page's 1 s refresh, false stops it.
  explicit PageSelector(std::function<void(bool)> calibration_refresh)
      : calibration_refresh_(std::move(calibration_refresh)) {}
  Page current() const { return current_; }
  // Shows page `page`. False when it was already shown: nothing changes.
  bool Select(Page page);

 private:
  Page current_ = Page::kSbs;
  std::function<void(bool)> calibration_refresh_;
};

}  // namespace cw::app
