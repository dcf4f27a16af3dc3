#include "gui/message_box_sink.h"

#include <QApplication>
#include <QPushButton>
#include <QThread>
#include <memory>

#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {

QMessageBox::Icon BoxIcon(bool own_caption, common::MessageIcon icon) {
  if (!own_caption && icon == common::MessageIcon::kInformation) {
    return QMessageBox::Warning;
  }
  switch (icon) {
    case common::MessageIcon::kNone:
      return QMessageBox::NoIcon;
    case common::MessageIcon::kInformation:
      return QMessageBox::Information;
    case common::MessageIcon::kWarning:
      return QMessageBox::Warning;
    case common::MessageIcon::kError:
      return QMessageBox::Critical;
  }
  return QMessageBox::Warning;
}

void MessageBoxSink::Show(std::string_view text, common::MessageIcon icon) {
  ShowTitled(text, messages::kMessageCaption, icon);
}

void MessageBoxSink::ShowTitled(std::string_view text, std::string_view caption,
                                common::MessageIcon icon) {
  if (closing_) return;
  const QString box_text = Q(text);
  const QString box_caption = Q(caption);
  const QMessageBox::Icon box_icon = BoxIcon(caption != messages::kMessageCaption, icon);
  if (QThread::currentThread() == thread()) {
    Present(box_text, box_caption, box_icon);
    return;
  }
  // Shared with the GUI thread's call, which may come after this worker has stopped waiting.
  auto answered = std::make_shared<bool>(false);
  QMetaObject::invokeMethod(
      this,
      [this, answered, box_text, box_caption, box_icon] {
        Present(box_text, box_caption, box_icon);
        std::lock_guard lock(answer_mutex_);
        *answered = true;
        answered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(answer_mutex_);
  answered_.wait(lock, [&] { return *answered || closing_; });
}

void MessageBoxSink::ShowLinkNotice(std::string_view text) {
  if (!closing_) emit linkNotice(Q(text));
}

void MessageBoxSink::SetClosing() {
  std::lock_guard lock(answer_mutex_);
  closing_ = true;
  answered_.notify_all();
}

void SetUpQuestion(QMessageBox& box, std::string_view yes, std::string_view no) {
  box.button(QMessageBox::Yes)->setText(Q(yes));
  box.button(QMessageBox::No)->setText(Q(no));
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
}

bool MessageBoxSink::Ask(std::string_view text, std::string_view yes, std::string_view no) {
  QMessageBox box(QMessageBox::Question, Q(messages::kMessageCaption), Q(text),
                  QMessageBox::Yes | QMessageBox::No, owner_);
  SetUpQuestion(box, yes, no);
  if (answerer_) return answerer_(box) == box.button(QMessageBox::Yes);
  question_ = &box;
  box.exec();
  question_ = nullptr;
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

void MessageBoxSink::AnswerOpenQuestionYes() {
  if (question_) question_->button(QMessageBox::Yes)->click();
}

void MessageBoxSink::Present(const QString& text, const QString& caption, QMessageBox::Icon icon) {
  if (closing_) return;
  QWidget* parent = QApplication::activeModalWidget();
  if (parent == nullptr) parent = owner_;
  QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
  box.button(QMessageBox::Ok)->setText(Q(messages::kOkButton));
  emit shown(text, caption);
  box.exec();
}

}  // namespace cw::gui
