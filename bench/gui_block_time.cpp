// The longest time the GUI thread is kept from its events while the scan runs with the live chart
// shown: every register scanned on the simulated pack for 60 s of virtual time, the chart on its
// tab. A 1 ms timer on the GUI thread measures the gaps between its turns. Target: the longest
// gap under 16 ms (one frame). The virtual clock runs as fast as the scan can go, so 60 s of it
// pass in a blink; the measurement also lasts at least 5 s of real time, so that the tables and
// the chart redraw often enough to be measured, and starts once the window has settled.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "app/device_string.h"
#include "gui/gauge_tool_app.h"
#include "gui/main_window.h"
#include "gui/sbs_page.h"
#include "monitor/sbs_page_rules.h"

namespace {

// CPU time of the calling thread: what part of a gap the GUI thread spent working, as opposed to
// waiting for a core the machine gave to someone else.
qint64 ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<qint64>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Times every event the GUI thread handles, to name the slowest one.
class TimedApplication final : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
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
    const bool handled = QApplication::notify(receiver, event);
    --depth_;
    const qint64 spent = timer.nsecsElapsed();
    if (measuring && spent > slowest) {
      slowest = spent;
      slowest_what = QString("event type %1 to a %2 in a %3 in a %4")
                         .arg(type)
                         .arg(receiver_class, owner_class, outer_class);
    }
    return handled;
  }
  bool measuring = false;
  qint64 slowest = 0;
  QString slowest_what;

 private:
  int depth_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace cw;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TimedApplication application(argc, argv);
  gui::ApplyProductLook(application);
  app::WorkbenchOptions options;
  options.device = *app::ParseDeviceString("sim:clock=virtual");
  auto tool = gui::GaugeToolApp::Create(std::move(options));
  if (!tool) {
    std::fprintf(stderr, "%s\n", tool.error().c_str());
    return 1;
  }
  gui::MainWindow& window = (*tool)->window();
  window.show();
  gui::SbsPage& page = window.sbs_page();
  page.button(monitor::PageButton::kScanAll).click();
  page.tabs().setCurrentIndex(2);

  constexpr common::Millis kVirtualSpan{60'000};
  constexpr qint64 kRealSpanNs = 5'000'000'000;
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

  common::Clock& clock = (*tool)->bench().clock();
  const common::Millis start = clock.Now();
  QElapsedTimer real;
  real.start();
  application.measuring = true;
  qint64 last = real.nsecsElapsed();
  qint64 last_cpu = ThreadCpuNs();
  qint64 longest = 0;
  qint64 longest_cpu = 0;
  qint64 longest_busy = 0;
  long turns = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(1);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = real.nsecsElapsed();
    const qint64 cpu = ThreadCpuNs();
    if (now - last > longest) {
      longest = now - last;
      longest_cpu = cpu - last_cpu;
    }
    longest_busy = std::max(longest_busy, cpu - last_cpu);
    last = now;
    last_cpu = cpu;
    ++turns;
    if (clock.Now() - start >= kVirtualSpan && now >= kRealSpanNs) application.quit();
  });
  probe.start();
  application.exec();

  const double seconds = static_cast<double>(real.nsecsElapsed()) / 1e9;
  std::printf("GUI thread, scan of every register with the live chart shown\n");
  std::printf("  virtual time scanned      %lld s\n",
              static_cast<long long>((clock.Now() - start).count() / 1000));
  std::printf("  real time                 %.2f s\n", seconds);
  std::printf("  event loop turns          %ld\n", turns);
  std::printf(
      "  longest GUI block         %.2f ms (target under 16 ms), of which %.2f ms working\n",
      static_cast<double>(longest) / 1e6, static_cast<double>(longest_cpu) / 1e6);
  std::printf("  most GUI work in one gap  %.2f ms of the thread's own CPU time\n",
              static_cast<double>(longest_busy) / 1e6);
  std::printf("  slowest single event      %.2f ms (%s)\n",
              static_cast<double>(application.slowest) / 1e6, qPrintable(application.slowest_what));
  tool->reset();
  return 0;
}
