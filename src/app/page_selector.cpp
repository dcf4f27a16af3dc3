#include "app/page_selector.h"

namespace cw::app {

bool PageSelector::Select(Page page) {
  if (page == current_) return false;
  if (current_ == Page::kCalibration && calibration_refresh_) calibration_refresh_(false);
  current_ = page;
  if (current_ == Page::kCalibration && calibration_refresh_) calibration_refresh_(true);
  return true;
}

}  // namespace cw::app
