#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>
#include <functional>
#include <utility>

namespace cw::gui {

// The one thread that runs the gauge work a widget starts (register writes, subcommands, the
// Config button, .afi transfers), one job at a time in the order asked, so the GUI thread never
// waits on the bus. Each job's result comes back to the GUI thread, to a callback that runs only
// while the widget that asked still exists.
class GaugeWorker final : public QObject {
  Q_OBJECT

 public:
  GaugeWorker();
  ~GaugeWorker() override;

  template <typename Result>
  void Run(QObject* requester, std::function<Result()> job, std::function<void(Result)> done) {
    Started();
    QPointer<QObject> alive(requester);
    QMetaObject::invokeMethod(
        executor_,
        [this, alive, job = std::move(job), done = std::move(done)] {
          Result result = job();
          QMetaObject::invokeMethod(
              this,
              [this, alive, done, result = std::move(result)] {
                if (alive && done) done(result);
                Finished();
              },
              Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
  }

  bool idle() const { return pending_ == 0; }
  // Finishes the job in progress and drops the rest; GUI events keep flowing meanwhile, so a
  // job that shows a message is not stuck. Called before the workbench goes.
  void Stop();

 signals:
  void busyChanged(bool busy);

 private:
  void Started();
  void Finished();

  QThread thread_;
  QObject* executor_;
  int pending_ = 0;
  bool stopped_ = false;
};

}  // namespace cw::gui
