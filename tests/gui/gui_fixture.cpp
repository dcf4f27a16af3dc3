#include "gui_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <fstream>
#include <sstream>

#include "app/device_string.h"
#include "gui/logging_time_dialog.h"
#include "monitor/monitor_session.h"
#include "sim/sim_pack.h"

namespace cw::test {

ModalAnswerer::ModalAnswerer() {
  connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Poll);
  timer_.start(10);
}

void ClickLater(QAbstractButton* button) {
  QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

namespace {

constexpr int kEnableWaitMs = kFlowWaitMs;

}  // namespace

bool Press(QAbstractButton& button) {
  if (!QTest::qWaitFor([&button] { return button.isEnabled() && button.isVisible(); },
                       kEnableWaitMs)) {
    return false;
  }
  QTest::mouseClick(&button, Qt::LeftButton);
  return true;
}

bool Trigger(QAction& action) {
  if (!QTest::qWaitFor([&action] { return action.isEnabled(); }, kEnableWaitMs)) return false;
  action.trigger();
  return true;
}

ModalAnswerer::Step TypeInterval(const QString& seconds) {
  return [seconds](QWidget* modal) {
    auto* dialog = qobject_cast<gui::LoggingTimeDialog*>(modal);
    if (dialog == nullptr) return false;
    dialog->choice().setEditText(seconds);
    QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
    return true;
  };
}

ModalAnswerer::Step ChooseFile(const QString& path, const QString& filter) {
  return [path, filter](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) return false;
    if (!filter.isEmpty()) dialog->selectNameFilter(filter);
    // The dialog leaves a name field that has the focus as the user typed it.
    if (QWidget* focused = dialog->focusWidget()) focused->clearFocus();
    dialog->selectFile(path);
    QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
    return true;
  };
}

std::string ReadFile(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void ModalAnswerer::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr) return;
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    if (box->property("answered").toBool()) return;
    box->setProperty("answered", true);
    boxes << box->text();
    captions << box->windowTitle();
    icons.push_back(box->icon());
    if (on_box) on_box(box);
    QAbstractButton* yes = box->button(QMessageBox::Ok);
    if (yes == nullptr) yes = box->button(QMessageBox::Yes);
    ClickLater(yes);
    return;
  }
  if (!steps_.empty() && steps_.front()(modal)) steps_.pop_front();
}

GuiFixture::GuiFixture(const std::string& device, bool remembered) {
  if (!remembered) {
    QSettings settings("Quillmarsh", "Message");
    for (const char* group : {"Window", "Chart", "Selection"}) settings.remove(group);
  }
  app::WorkbenchOptions options;
  options.device = *app::ParseDeviceString(device);
  auto created = gui::GaugeToolApp::Create(std::move(options));
  if (created) tool = std::move(*created);
  if (!tool) return;
  // Closing while long work runs asks first: a flow that closes then means to quit.
  tool->messages().AnswerQuestionsWith(
      [](QMessageBox& box) { return box.button(QMessageBox::Yes); });
  window().show();
}

GuiFixture::~GuiFixture() = default;

bool GuiFixture::Ready() { return tool && QTest::qWaitForWindowExposed(&window()); }

std::int32_t GuiFixture::Raw(std::string_view name) {
  return bench().monitor().engine().WithTable(
      [&](const monitor::RegisterTable& table) { return table.FindRow(name)->raw_value; });
}

std::string GuiFixture::Text(std::string_view name) {
  return bench().monitor().engine().WithTable([&](const monitor::RegisterTable& table) {
    return std::string(table.FindRow(name)->ShownText());
  });
}

void GuiFixture::SetRaw(std::string_view name, std::int32_t raw) {
  bench().monitor().engine().WithTable(
      [&](monitor::RegisterTable& table) { table.FindRow(name)->raw_value = raw; });
}

std::uint16_t GuiFixture::GaugeWord(std::uint8_t command) {
  const auto reply = gauge().Read(command, 2);
  if (!reply || reply->size() < 2) return 0;
  return static_cast<std::uint16_t>((*reply)[0] | ((*reply)[1] << 8));
}

}  // namespace cw::test
