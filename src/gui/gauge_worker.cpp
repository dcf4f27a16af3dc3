#include "gui/gauge_worker.h"

#include <QCoreApplication>

namespace cw::gui {

GaugeWorker::GaugeWorker() : executor_(new QObject) {
  thread_.setObjectName("gauge worker");
  executor_->moveToThread(&thread_);
  connect(&thread_, &QThread::finished, executor_, &QObject::deleteLater);
  thread_.start();
}

GaugeWorker::~GaugeWorker() { Stop(); }

void GaugeWorker::Started() {
  if (pending_++ == 0) emit busyChanged(true);
}

void GaugeWorker::Finished() {
  if (--pending_ == 0) emit busyChanged(false);
}

void GaugeWorker::Stop() {
  if (stopped_) return;
  stopped_ = true;
  thread_.requestInterruption();
  thread_.quit();
  while (!thread_.wait(10)) QCoreApplication::processEvents();
}

}  // namespace cw::gui
