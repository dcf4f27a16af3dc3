#pragma once

// How long the GUI thread is kept from its events: a 1 ms timer on the GUI thread measures the
// gaps between its turns, and the application times every event it handles to name the slowest.
// Target: the longest gap under 16 ms (one frame).

#include <QApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#include "app/device_string.h"
#include "gui/gauge_tool_app.h"
#include "gui/main_window.h"

namespace cw::bench {

// Lets the window settle for `ms` of real time before anything is measured.
inline void Settle(int ms) {
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// CPU time of the calling thread: what part of a gap the GUI thread spent working, as opposed to
// waiting for a core the machine gave to someone else.
inline qint64 ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Times every event the GUI thread handles, to name the slowest one.
class TimedApplication final : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    // Workers deliver their own events through here too; only the GUI thread's are timed.
    if (QThread::currentThread() != thread()) return QApplication::notify(receiver, event);
    if (depth_++ > 0) {
      const bool handled = QApplication::notify(receiver, event);
      --depth_;
      return handled;
    }
    // The receiver may be gone once its event is handled (a deferred delete).
    const char* receiver_class = receiver->metaObject()->className();
    const QObject* owner = receiver->parent();
    const char* owner_class = owner != nullptr ? owner->metaObject()->className() : "";
    const QObject* outer = owner != nullptr ? owner->parent() : nullptr;
    const char* outer_class = outer != nullptr ? outer->metaObject()->className() : "";
    const int type = static_cast<int>(event->type());
    QElapsedTimer timer;
    timer.start();
    const qint64 cpu = ThreadCpuNs();
    const bool handled = QApplication::notify(receiver, event);
    --depth_;
    const qint64 spent = timer.nsecsElapsed();
    if (measuring && spent > slowest) {
      slowest = spent;
      slowest_cpu = ThreadCpuNs() - cpu;
      slowest_what = QString("event type %1 to a %2 in a %3 in a %4")
                         .arg(type)
                         .arg(receiver_class, owner_class, outer_class);
    }
    return handled;
  }
  bool measuring = false;
  qint64 slowest = 0;
  qint64 slowest_cpu = 0;
  QString slowest_what;

 private:
  int depth_ = 0;
};

// The desktop program on the simulated pack with a virtual clock (or on `device`), in a timed
// application, its window shown (offscreen unless a platform is named).
class GuiBench {
 public:
  GuiBench(int& argc, char** argv, const char* device = "sim:clock=virtual")
      : offscreen_(UseOffscreenUnlessSet()),
        application_(argc, argv),
        tool_(Start(application_, device)) {}
  ~GuiBench() { tool_.reset(); }

  // False after saying why the program did not start.
  bool ready() const { return tool_ != nullptr; }
  TimedApplication& application() { return application_; }
  gui::GaugeToolApp& tool() { return *tool_; }
  gui::MainWindow& window() { return tool_->window(); }

 private:
  static bool UseOffscreenUnlessSet() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
  }
  static std::unique_ptr<gui::GaugeToolApp> Start(QApplication& application, const char* device) {
    gui::ApplyProductLook(application);
    app::WorkbenchOptions options;
    options.device = *app::ParseDeviceString(device);
    auto tool = gui::GaugeToolApp::Create(std::move(options));
    if (!tool) {
      std::fprintf(stderr, "%s\n", tool.error().c_str());
      return nullptr;
    }
    (*tool)->window().show();
    return std::move(*tool);
  }

  bool offscreen_;  // first: the platform is chosen before the application exists
  TimedApplication application_;
  std::unique_ptr<gui::GaugeToolApp> tool_;
};

// The gaps between the GUI thread's turns while the application runs, from Measure() until
// `finished` (asked at every turn with the real time measured so far) says so.
struct GuiBlocks {
  double seconds = 0;
  long turns = 0;
  qint64 longest = 0;
  qint64 longest_cpu = 0;
  qint64 longest_busy = 0;
};

inline GuiBlocks Measure(TimedApplication& application,
                         const std::function<bool(qint64 real_ns)>& finished) {
  GuiBlocks blocks;
  QElapsedTimer real;
  real.start();
  application.measuring = true;
  qint64 last = real.nsecsElapsed();
  qint64 last_cpu = ThreadCpuNs();
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(1);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = real.nsecsElapsed();
    const qint64 cpu = ThreadCpuNs();
    if (now - last > blocks.longest) {
      blocks.longest = now - last;
      blocks.longest_cpu = cpu - last_cpu;
    }
    blocks.longest_busy = std::max(blocks.longest_busy, cpu - last_cpu);
    last = now;
    last_cpu = cpu;
    ++blocks.turns;
    if (finished(now)) application.quit();
  });
  probe.start();
  application.exec();
  application.measuring = false;
  blocks.seconds = static_cast<double>(real.nsecsElapsed()) / 1e9;
  return blocks;
}

inline void PrintBlocks(const GuiBlocks& blocks, const TimedApplication& application) {
  std::printf("  real time                 %.2f s\n", blocks.seconds);
  std::printf("  event loop turns          %ld\n", blocks.turns);
  std::printf(
      "  longest GUI block         %.2f ms (target under 16 ms), of which %.2f ms working\n",
      static_cast<double>(blocks.longest) / 1e6, static_cast<double>(blocks.longest_cpu) / 1e6);
  std::printf("  most GUI work in one gap  %.2f ms of the thread's own CPU time\n",
              static_cast<double>(blocks.longest_busy) / 1e6);
  std::printf("  slowest single event      %.2f ms, of which %.2f ms working (%s)\n",
              static_cast<double>(application.slowest) / 1e6,
              static_cast<double>(application.slowest_cpu) / 1e6,
              qPrintable(application.slowest_what));
}

}  // namespace cw::bench
