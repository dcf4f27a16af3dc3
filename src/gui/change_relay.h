#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <vector>

#include "common/front_end.h"

namespace cw::gui {

// Turns the core's change notifications, which arrive on whatever thread made the change, into
// one queued `changed()` signal on the GUI thread. Bursts are folded: however many changes the
// scan makes, the widgets redraw at most once per throttle period, and the notifying thread
// never waits. Every widget that shows core state reads it again on `changed()`.
class ChangeRelay final : public QObject {
  Q_OBJECT

 public:
  static constexpr int kDefaultThrottleMs = 40;

  explicit ChangeRelay(QObject* parent = nullptr, int throttle_ms = kDefaultThrottleMs);
  ~ChangeRelay() override;

  template <typename... Args>
  void Watch(common::Observers<Args...>& observers) {
    subscriptions_.push_back(observers.Subscribe([this](Args...) { Post(); }));
  }
  // From any thread.
  void Post();

 signals:
  void changed();

 private:
  void Deliver();
  void OnThrottleEnd();

  std::atomic<bool> posted_{false};
  bool dirty_ = false;
  QTimer throttle_;
  std::vector<common::Subscription> subscriptions_;
};

}  // namespace cw::gui
