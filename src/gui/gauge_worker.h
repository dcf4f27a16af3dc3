#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <utility>

#include "app/running_work.h"
#include "common/job_worker.h"

namespace cw::gui {

// The GUI's side of the core's JobWorker: the one thread that runs the gauge work a widget starts
// (register writes, subcommands, the Config button, .afi transfers, opening and closing tools),
// one job at a time in the order asked, so the GUI thread never waits on the bus. Each job's
// result comes back to the GUI thread, to a callback that runs only while the widget that asked
// still exists.
class GaugeWorker final : public QObject {
  Q_OBJECT

 public:
  GaugeWorker() = default;
  // Stop.
  ~GaugeWorker() override;

  template <typename Result>
  void Run(QObject* requester, std::function<Result()> job, std::function<void(Result)> done) {
    Post<Result>(
        requester, [job = std::move(job)](std::stop_token) { return job(); }, std::move(done),
        std::nullopt);
  }
  // One of the long works that closing the window asks about: counted in works() until its
  // callback has run. `job` is given the stop token that RequestStop sets, and returns at its next
  // safe point once it is.
  template <typename Result>
  void RunWork(app::Work work, QObject* requester, std::function<Result(std::stop_token)> job,
               std::function<void(Result)> done) {
    works_.Begin(work);
    Post<Result>(requester, std::move(job), std::move(done), work);
  }
  const app::HandedInWork& works() const { return works_; }

  // No job is on its way, and every callback has run.
  bool idle() const { return pending_ == 0; }
  // For the program's end: the job in progress stops at its next safe point and the queued ones
  // are dropped; returns at once. busyChanged(false) follows once it has.
  void RequestStop() { jobs_.RequestStop(); }
  // RequestStop and waits for the worker's thread to end. The job in progress may still be
  // showing a message: the message box sink stops waiting for boxes once closing starts, so
  // call it after MessageBoxSink::SetClosing.
  void Stop() { jobs_.Shutdown(); }

 signals:
  void busyChanged(bool busy);

 private:
  template <typename Result>
  void Post(QObject* requester, std::function<Result(std::stop_token)> job,
            std::function<void(Result)> done, std::optional<app::Work> work) {
    Started();
    auto result = std::make_shared<std::optional<Result>>();
    jobs_.Post([job = std::move(job), result](std::stop_token stop) { result->emplace(job(stop)); },
               [this, alive = QPointer<QObject>(requester), done = std::move(done), result,
                work](common::JobEnd) {
                 QMetaObject::invokeMethod(
                     this,
                     [this, alive, done, result, work] {
                       if (work) works_.End(*work);
                       // A dropped job has no result and calls nobody back.
                       if (alive && done && result->has_value()) done(std::move(**result));
                       Finished();
                     },
                     Qt::QueuedConnection);
               });
  }
  void Started();
  void Finished();

  app::HandedInWork works_;
  common::JobWorker jobs_;
  int pending_ = 0;
};

}  // namespace cw::gui
