#include "gui/change_relay.h"

namespace cw::gui {

ChangeRelay::ChangeRelay(QObject* parent, int throttle_ms) : QObject(parent) {
  throttle_.setSingleShot(true);
  throttle_.setInterval(throttle_ms);
  connect(&throttle_, &QTimer::timeout, this, &ChangeRelay::OnThrottleEnd);
}

ChangeRelay::~ChangeRelay() {
  // Waits for a notification in progress on another thread; none starts after this.
  subscriptions_.clear();
}

void ChangeRelay::Post() {
  if (posted_.exchange(true)) return;
  QMetaObject::invokeMethod(this, &ChangeRelay::Deliver, Qt::QueuedConnection);
}

void ChangeRelay::Deliver() {
  posted_ = false;
  if (throttle_.isActive()) {
    dirty_ = true;
    return;
  }
  emit changed();
  throttle_.start();
}

void ChangeRelay::OnThrottleEnd() {
  if (!dirty_) return;
  dirty_ = false;
  emit changed();
  throttle_.start();
}

}  // namespace cw::gui
