#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "common/front_end.h"

namespace cw::gui {

// The box's icon: a message in the application's own name ("Message") that names no icon of
// its own gets the exclamation mark; a box with a caption of its own shows what it asks for.
QMessageBox::Icon BoxIcon(bool own_caption, common::MessageIcon icon);

// Gives a question box the buttons `yes` and `no`; a stray Enter, Escape or the close box say
// `no`, so a question over running work never stops it by accident.
void SetUpQuestion(QMessageBox& box, std::string_view yes, std::string_view no);

// ShowMessage: every message of the core as a modal box with English buttons, owned by the
// window in front. Callable from any thread: a worker waits until the user has answered, as the
// core expects, while the GUI thread shows the box. Once closing, boxes are no longer shown and
// no worker waits for one any more, not even for a box already on its way: the program's end may
// have the GUI thread wait for the workers, which must then never wait for the GUI thread.
class MessageBoxSink final : public QObject, public common::MessageSink {
  Q_OBJECT

 public:
  MessageBoxSink() = default;

  // A box in the application's name ("Message").
  void Show(std::string_view text,
            common::MessageIcon icon = common::MessageIcon::kInformation) override;
  // A box with a caption of its own, for a window's own rule (the logging interval's range).
  void ShowTitled(std::string_view text, std::string_view caption, common::MessageIcon icon);
  // No box: the main window keeps it in its banner until the adapter answers again.
  void ShowLinkNotice(std::string_view text) override;
  // Boxes without a window in front are owned by this one.
  void SetOwner(QWidget* owner) { owner_ = owner; }
  // From the GUI thread, when the program starts to close.
  void SetClosing();

  // A question with two answers, on the GUI thread, in a box with the buttons `yes` and `no`
  // (Escape and the close box say no). True when the answer was `yes`.
  bool Ask(std::string_view text, std::string_view yes, std::string_view no);
  // A question box open now is answered `yes`, as if clicked.
  void AnswerOpenQuestionYes();
  // Answers questions in place of the user (tests): given the box as it would open, returns the
  // button to press; the box is not shown.
  using Answerer = std::function<QAbstractButton*(QMessageBox& box)>;
  void AnswerQuestionsWith(Answerer answerer) { answerer_ = std::move(answerer); }

 signals:
  // Every box, as it opens (on the GUI thread).
  void shown(const QString& text, const QString& caption);
  // A notice of the adapter link (from any thread; no one waits for it).
  void linkNotice(const QString& text);

 private:
  void Present(const QString& text, const QString& caption, QMessageBox::Icon icon);

  QPointer<QWidget> owner_;
  QPointer<QMessageBox> question_;
  Answerer answerer_;
  std::atomic<bool> closing_{false};
  // Workers waiting for their box to be answered, or for closing to start.
  std::mutex answer_mutex_;
  std::condition_variable answered_;
};

}  // namespace cw::gui
