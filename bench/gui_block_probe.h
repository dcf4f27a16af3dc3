#pragma once

// How long the GUI thread is kept from its events: a 1 ms timer on the GUI thread measures the
// gaps between its turns, and the application times every event it handles to name the slowest.
// Of the longest gap it tells how much the thread worked, how long it was runnable but not given
// a core (the kernel's run-queue wait), and how long it waited of its own accord (a lock, a
// poll); and the context switches of each kind in it. Beside it a bare thread that only sleeps
// 1 ms at a time measures the machine's own stalls (a virtual machine may not wake a sleeping
// thread for tens of milliseconds): a GUI gap no longer than those is not the program's. Target:
// the longest gap under 16 ms (one frame).

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGraphicsObject>
#include <QGraphicsScene>
#include <QString>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

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

// What the kernel counts for the calling thread: how long it waited runnable for a core, and
// how often it gave the core up (waiting) or had it taken away.
struct ThreadSchedule {
  qint64 runqueue_ns = 0;
  long voluntary_switches = 0;
  long involuntary_switches = 0;
};

// Keeps /proc/thread-self/schedstat open: the probe reads it at every turn of the loop.
class ScheduleReader {
 public:
  ScheduleReader() : fd_(open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}
  ~ScheduleReader() {
    if (fd_ >= 0) close(fd_);
  }
  ScheduleReader(const ScheduleReader&) = delete;
  ScheduleReader& operator=(const ScheduleReader&) = delete;

  // Run-queue wait stays 0 where the kernel does not keep it.
  ThreadSchedule Read() const {
    ThreadSchedule now;
    char text[96] = {};
    if (fd_ >= 0) {
      const ssize_t length = pread(fd_, text, sizeof text - 1, 0);
      long long on_cpu = 0;
      long long waiting = 0;
      if (length > 0 && std::sscanf(text, "%lld %lld", &on_cpu, &waiting) == 2) {
        now.runqueue_ns = waiting;
      }
    }
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    now.voluntary_switches = usage.ru_nvcsw;
    now.involuntary_switches = usage.ru_nivcsw;
    return now;
  }

 private:
  int fd_;
};

// Times every event the GUI thread handles, to name the slowest one; and, once WatchRedraws() is
// called, the GUI thread's work for one area of the window frame by frame.
class TimedApplication final : public QApplication {
 public:
  using QApplication::QApplication;

  // Every event to `area` or inside it counts as its redraw work (timers, relayed changes,
  // layout, paint); a paint of `painted` ends a frame.
  void WatchRedraws(const QObject* area, const QObject* painted) {
    area_ = area;
    painted_ = painted;
  }

  bool notify(QObject* receiver, QEvent* event) override {
    // Workers deliver their own events through here too; only the GUI thread's are timed.
    if (QThread::currentThread() != thread()) return QApplication::notify(receiver, event);
    if (depth_++ > 0) {
      const bool handled = Deliver(receiver, event);
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
    const bool handled = Deliver(receiver, event);
    --depth_;
    const qint64 spent = timer.nsecsElapsed();
    if (measuring && spent >= kNotableEventNs) {
      gap_events += QString("%1 ms (%2 ms working) event type %3 to a %4 in a %5; ")
                        .arg(static_cast<double>(spent) / 1e6, 0, 'f', 2)
                        .arg(static_cast<double>(ThreadCpuNs() - cpu) / 1e6, 0, 'f', 2)
                        .arg(type)
                        .arg(receiver_class, owner_class);
    }
    if (measuring && spent > slowest) {
      slowest = spent;
      slowest_cpu = ThreadCpuNs() - cpu;
      slowest_what = QString("event type %1 to a %2 in a %3 in a %4")
                         .arg(type)
                         .arg(receiver_class, owner_class, outer_class);
    }
    return handled;
  }
  // Events worth naming in a gap: the probe keeps those of the longest one.
  static constexpr qint64 kNotableEventNs = 1'000'000;
  bool measuring = false;
  QString gap_events;
  qint64 slowest = 0;
  qint64 slowest_cpu = 0;
  QString slowest_what;
  // The watched area's redraws: frames painted, and the thread's CPU time for them.
  long frames = 0;
  qint64 frames_cpu = 0;
  qint64 costliest_frame_cpu = 0;

 private:
  bool Inside(const QObject* receiver) const {
    if (area_ == nullptr) return false;
    for (const QObject* at = receiver; at != nullptr;) {
      if (at == area_) return true;
      // A chart's items belong to their scene, not to a QObject parent.
      const auto* item = qobject_cast<const QGraphicsObject*>(at);
      at = at->parent() == nullptr && item != nullptr ? item->scene() : at->parent();
    }
    return false;
  }
  bool Deliver(QObject* receiver, QEvent* event) {
    if (!measuring || !Inside(receiver)) return QApplication::notify(receiver, event);
    // The picture may be painted from inside another of the area's events.
    if (receiver == painted_ && event->type() == QEvent::Paint) frame_painted_ = true;
    if (in_area_) return QApplication::notify(receiver, event);
    in_area_ = true;
    const qint64 cpu = ThreadCpuNs();
    const bool handled = QApplication::notify(receiver, event);
    frame_cpu_ += ThreadCpuNs() - cpu;
    in_area_ = false;
    // Work done between two pictures (several redraws when the paint waits) counts for the second.
    if (frame_painted_) {
      frame_painted_ = false;
      ++frames;
      frames_cpu += frame_cpu_;
      costliest_frame_cpu = std::max(costliest_frame_cpu, frame_cpu_);
      frame_cpu_ = 0;
    }
    return handled;
  }

  int depth_ = 0;
  const QObject* area_ = nullptr;
  const QObject* painted_ = nullptr;
  bool in_area_ = false;
  bool frame_painted_ = false;
  qint64 frame_cpu_ = 0;
};

// The desktop program on the simulated pack (by default with a virtual clock), in a timed
// application, its window shown (offscreen unless a platform is named).
class GuiBench {
 public:
  GuiBench(int& argc, char** argv, std::string_view device = "sim:clock=virtual")
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
  static std::unique_ptr<gui::GaugeToolApp> Start(QApplication& application,
                                                  std::string_view device) {
    gui::ApplyProductLook(application);
    app::WorkbenchOptions options;
    options.device = *app::ParseDeviceString(std::string(device));
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
  // Of the longest gap: runnable without a core, and the switches of each kind.
  qint64 longest_runqueue = 0;
  long longest_voluntary = 0;
  long longest_involuntary = 0;
  qint64 longest_busy = 0;
  QString longest_events;  // the events of 1 ms or more in it
  // The longest a bare thread sleeping 1 ms at a time waited to be woken, over the same time.
  qint64 bare_thread_longest = 0;
};

inline GuiBlocks Measure(TimedApplication& application,
                         const std::function<bool(qint64 real_ns)>& finished) {
  GuiBlocks blocks;
  QElapsedTimer real;
  real.start();
  application.measuring = true;
  const ScheduleReader schedule;
  qint64 last = real.nsecsElapsed();
  qint64 last_cpu = ThreadCpuNs();
  ThreadSchedule last_schedule = schedule.Read();
  // A loop of its own: quitting the application's would close its windows, and a bench that
  // measures again would measure a window that is no longer drawn.
  QEventLoop loop;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(1);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = real.nsecsElapsed();
    const qint64 cpu = ThreadCpuNs();
    const ThreadSchedule scheduled = schedule.Read();
    if (now - last > blocks.longest) {
      blocks.longest = now - last;
      blocks.longest_cpu = cpu - last_cpu;
      blocks.longest_runqueue = scheduled.runqueue_ns - last_schedule.runqueue_ns;
      blocks.longest_voluntary = scheduled.voluntary_switches - last_schedule.voluntary_switches;
      blocks.longest_involuntary =
          scheduled.involuntary_switches - last_schedule.involuntary_switches;
      blocks.longest_events = application.gap_events;
    }
    application.gap_events.clear();
    blocks.longest_busy = std::max(blocks.longest_busy, cpu - last_cpu);
    last = now;
    last_cpu = cpu;
    last_schedule = scheduled;
    ++blocks.turns;
    if (finished(now)) loop.quit();
  });
  std::atomic<qint64> bare_longest = 0;
  std::jthread bare_thread([&bare_longest](std::stop_token stop) {
    QElapsedTimer clock;
    clock.start();
    qint64 last_wake = clock.nsecsElapsed();
    while (!stop.stop_requested()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      const qint64 now = clock.nsecsElapsed();
      if (now - last_wake > bare_longest) bare_longest = now - last_wake;
      last_wake = now;
    }
  });
  probe.start();
  loop.exec();
  bare_thread.request_stop();
  bare_thread.join();
  blocks.bare_thread_longest = bare_longest;
  application.measuring = false;
  blocks.seconds = static_cast<double>(real.nsecsElapsed()) / 1e9;
  return blocks;
}

inline void PrintBlocks(const GuiBlocks& blocks, const TimedApplication& application) {
  std::printf("  real time                 %.2f s\n", blocks.seconds);
  std::printf("  event loop turns          %ld\n", blocks.turns);
  const auto ms = [](qint64 ns) { return static_cast<double>(ns) / 1e6; };
  // What is neither work nor a wait for a core is time the thread chose to wait.
  const qint64 waited =
      std::max<qint64>(0, blocks.longest - blocks.longest_cpu - blocks.longest_runqueue);
  std::printf("  longest GUI block         %.2f ms (target under 16 ms)\n", ms(blocks.longest));
  std::printf("    working                 %.2f ms of the thread's own CPU time\n",
              ms(blocks.longest_cpu));
  std::printf(
      "    not scheduled           %.2f ms runnable without a core (%ld involuntary switches)\n",
      ms(blocks.longest_runqueue), blocks.longest_involuntary);
  std::printf("    waiting                 %.2f ms of its own accord (%ld voluntary switches)\n",
              ms(waited), blocks.longest_voluntary);
  std::printf("    its events of 1 ms or more: %s\n", qPrintable(blocks.longest_events));
  std::printf(
      "  a bare thread's longest    %.2f ms between two 1 ms sleeps (the machine's stalls)\n",
      ms(blocks.bare_thread_longest));
  std::printf("  most GUI work in one gap  %.2f ms of the thread's own CPU time\n",
              static_cast<double>(blocks.longest_busy) / 1e6);
  std::printf("  slowest single event      %.2f ms, of which %.2f ms working (%s)\n",
              static_cast<double>(application.slowest) / 1e6,
              static_cast<double>(application.slowest_cpu) / 1e6,
              qPrintable(application.slowest_what));
  if (application.frames > 0) {
    std::printf(
        "  redraws measured          %ld frames, %.2f ms of CPU each on average, %.2f ms at most "
        "(target at most 8 ms)\n",
        application.frames, ms(application.frames_cpu) / static_cast<double>(application.frames),
        ms(application.costliest_frame_cpu));
  }
}

}  // namespace cw::bench
