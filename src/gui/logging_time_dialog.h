#pragma once

#include <QDialog>

#include "gui/message_box_sink.h"

class QComboBox;

namespace cw::gui {

// "Time Setting...": the data log interval in seconds, from a list or typed. OK keeps the dialog
// open with the range message until the value is 1 to 60.
class LoggingTimeDialog final : public QDialog {
  Q_OBJECT

 public:
  LoggingTimeDialog(int interval, MessageBoxSink& messages, QWidget* parent = nullptr);

  int interval() const { return interval_; }
  QComboBox& choice() { return *choice_; }

  void accept() override;

 private:
  MessageBoxSink& messages_;
  QComboBox* choice_;
  int interval_;
};

}  // namespace cw::gui
