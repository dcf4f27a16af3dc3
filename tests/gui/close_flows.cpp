// Closing the main window while long work runs, on the simulated pack: the question, what each
// answer does to the work and the pack, a quit by signal, and Escape. The question is answered
// through the message sink, so no flow depends on when a box appears.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "firmware/firmware_image.h"
#include "gui/data_flash_page.h"
#include "gui/messages.h"
#include "gui/qt_text.h"
#include "gui/sbs_page.h"
#include "gui/tools/file_field.h"
#include "gui/tools/firmware_tool_window.h"
#include "gui/tools/tool_launcher.h"
#include "gui_fixture.h"
#include "monitor/sbs_session.h"
#include "sim/boot_loader.h"
#include "sim/sim_pack.h"
#include "update_hold.h"

namespace cw::test {
namespace {

constexpr std::uint8_t kFirstPageWrite = 0x78;
constexpr std::uint8_t kLastPageWrite = 0x7F;
constexpr int kHeldPage = 3;
constexpr int kHeldRecord = 100;

QString Question(std::string_view work, std::string_view leaves = {}) {
  QString name = gui::Q(work);
  name[0] = name[0].toUpper();
  return QString("%1 is running.%2 Stop it at its next safe point and quit?")
      .arg(name, leaves.empty() ? QString() : " " + gui::Q(leaves));
}

}  // namespace

class CloseFlowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiFixture> f_;
  QTemporaryDir files_;
  // The questions asked, and the answer each gets.
  QStringList questions_;
  bool quit_ = false;

  gui::MainWindow& w() { return f_->window(); }
  bool Idle() {
    return QTest::qWaitFor([&] { return f_->tool->worker().idle(); }, 10000);
  }
  // Whether the window still takes input, as it does until the user chose to quit.
  bool Working() { return w().isVisible() && w().centralWidget()->isEnabled(); }
  // A data log of the first register, as the page starts one.
  bool StartLog(const std::string& path, int interval, monitor::LogFormat format) {
    f_->bench().sbs().SelectAllRows(monitor::RowSelection::kClearLogs);
    f_->bench().sbs().ToggleLog({monitor::TableId::kA, 0});
    return w().sbs_page().StartLog(path, interval, format).done();
  }
  bool Stopping() {
    return w().isVisible() && !w().centralWidget()->isEnabled() && !w().menuBar()->isEnabled() &&
           w().statusBar()->currentMessage() == gui::Q(gui::messages::kStoppingAtSafePoint);
  }

  // A Write All after a Read All, held at a page write on the bus.
  std::unique_ptr<UpdateHold> HeldWriteAll() {
    gui::DataFlashPage& page = w().data_flash_page();
    page.read_all().click();
    if (!Idle()) return nullptr;
    f_->modal.boxes.clear();
    auto hold = std::make_unique<UpdateHold>(*f_->bench().sim_pack(), kHeldPage, kFirstPageWrite,
                                             kLastPageWrite);
    page.write_all().click();
    if (!QTest::qWaitFor([&] { return hold->held(); })) return nullptr;
    return hold;
  }

  // A firmware update of an image built here, held at a record on the bus.
  std::unique_ptr<UpdateHold> HeldUpdate() {
    const QString path = files_.filePath("fw.bin");
    {
      auto images = std::make_unique<firmware::ExtractedImages>();
      const common::Bytes image =
          firmware::BuildFirmwareImage(images->code, images->data, f_->bench().constants());
      std::ofstream(gui::S(path), std::ios::binary)
          .write(reinterpret_cast<const char*>(image.data()),
                 static_cast<std::streamsize>(image.size()));
    }
    w().action(gui::MenuCommand::kFirmwareUpdate).trigger();
    gui::FirmwareToolWindow* window = nullptr;
    if (!QTest::qWaitFor([&] {
          window =
              qobject_cast<gui::FirmwareToolWindow*>(w().tools().window(gui::ToolKind::kFirmware));
          return window != nullptr && window->image().button().isEnabled();
        })) {
      return nullptr;
    }
    f_->modal.Then(ChooseFile(path));
    QTest::mouseClick(&window->image().button(), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return window->start().isEnabled() && window->idle(); })) {
      return nullptr;
    }
    auto hold = std::make_unique<UpdateHold>(*f_->bench().sim_pack(), kHeldRecord);
    QTest::mouseClick(&window->start(), Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return hold->held(); })) return nullptr;
    return hold;
  }

 private slots:
  void init() {
    f_ = std::make_unique<GuiFixture>();
    QVERIFY(f_->Ready());
    questions_.clear();
    quit_ = false;
    f_->tool->messages().AnswerQuestionsWith([this](QMessageBox& box) {
      questions_ << box.text();
      const QMessageBox::StandardButton answer = quit_ ? QMessageBox::Yes : QMessageBox::No;
      return box.button(answer);
    });
  }
  void cleanup() { f_.reset(); }

  void NothingRunningClosesWithoutAQuestion() {
    QVERIFY(w().close());
    QVERIFY(!w().isVisible());
    QCOMPARE(questions_, QStringList{});
  }

  void EscapeClosesOnlyAnIdleWindow() {
    QVERIFY(StartLog(gui::S(files_.filePath("run.LOG")), 1, monitor::LogFormat::kText));
    QTest::keyClick(&w(), Qt::Key_Escape);
    QVERIFY(Working());
    QVERIFY(f_->bench().sbs().View().logging);
    QCOMPARE(questions_, QStringList{});

    w().sbs_page().StopLog();
    QTest::keyClick(&w(), Qt::Key_Escape);
    QVERIFY(!w().isVisible());
    QCOMPARE(questions_, QStringList{});
  }

  void DataLogIsAskedAboutThenStopped() {
    const QString log = files_.filePath("run.LOG");
    QVERIFY(StartLog(gui::S(log), 1, monitor::LogFormat::kText));
    QTRY_VERIFY_WITH_TIMEOUT(ReadFile(log).find("\r\n1 ") != std::string::npos, 10000);
    QVERIFY(!w().close());
    QCOMPARE(questions_, QStringList{Question(gui::messages::kWorkDataLog)});
    QVERIFY(Working());
    QVERIFY(f_->bench().sbs().View().logging);

    quit_ = true;
    QVERIFY(w().close());
    QVERIFY(!w().isVisible());
    QVERIFY(!f_->bench().sbs().View().logging);
    const std::string logged = ReadFile(log);
    QTest::qWait(1200);
    QCOMPARE(ReadFile(log), logged);  // closed: nothing written after the quit
  }

  void WriteAllKeptWorkingRunsToItsEnd() {
    auto hold = HeldWriteAll();
    QVERIFY(hold != nullptr);
    QVERIFY(!w().close());
    QCOMPARE(questions_, QStringList{Question(gui::messages::kWorkWriteAll,
                                              gui::messages::kStoppedWriteLeaves)});
    QVERIFY(Working());
    hold->Release();
    QVERIFY(Idle());
    QTRY_COMPARE(f_->gauge().resets(), 1);  // Write All ends with a reset of the gauge
    QVERIFY(hold->records() > kHeldPage);
    QVERIFY(Working());
  }

  void WriteAllQuitStopsBetweenTwoPages() {
    auto hold = HeldWriteAll();
    QVERIFY(hold != nullptr);
    quit_ = true;
    QVERIFY(!w().close());
    QCOMPARE(questions_.size(), qsizetype{1});
    QVERIFY(Stopping());
    QTest::qWait(50);
    QVERIFY2(Stopping(), "the page on the bus is written whole before the window goes");
    hold->Release();
    QTRY_VERIFY(!w().isVisible());
    QCOMPARE(hold->records(), kHeldPage);  // the held page went in whole, no page after it
    QCOMPARE(f_->gauge().resets(), 0);
    QVERIFY(f_->modal.boxes.isEmpty());
  }

  void SignalQuitsWithoutAQuestion() {
    auto hold = HeldWriteAll();
    QVERIFY(hold != nullptr);
    f_->tool->Quit();
    QVERIFY(Stopping());
    hold->Release();
    QTRY_VERIFY(!w().isVisible());
    QCOMPARE(questions_, QStringList{});
    QCOMPARE(hold->records(), kHeldPage);
  }

  void UpdateIsAskedAboutAndStopsAtARecord() {
    auto hold = HeldUpdate();
    QVERIFY(hold != nullptr);
    // The question says what a stop leaves the pack in.
    const QString question =
        Question(gui::messages::kWorkFirmwareUpdate, gui::messages::kStoppedUpdateLeaves);
    QVERIFY(!w().close());
    QCOMPARE(questions_, QStringList{question});
    QVERIFY(Working());
    QVERIFY(w().tools().window(gui::ToolKind::kFirmware) != nullptr);

    quit_ = true;
    QVERIFY(!w().close());
    QCOMPARE(questions_, QStringList(2, question));
    QVERIFY(Stopping());
    hold->Release();
    QTRY_VERIFY(!w().isVisible());
    QCOMPARE(hold->records(), kHeldRecord);
    QVERIFY2(sim::boot::Running(f_->gauge().State().boot), "as the question said");
    QVERIFY(f_->modal.boxes.isEmpty());
  }

  void SeveralWorksAreNamedInOneQuestion() {
    QVERIFY(StartLog(gui::S(files_.filePath("run.LOG")), 1, monitor::LogFormat::kText));
    auto hold = HeldWriteAll();
    QVERIFY(hold != nullptr);
    QVERIFY(!w().close());
    QCOMPARE(questions_, QStringList{"A data log and a Write All are running. " +
                                     gui::Q(gui::messages::kStoppedWriteLeaves) +
                                     " Stop them at their next safe point and quit?"});
    hold->Release();
    QVERIFY(Idle());
  }
};

}  // namespace cw::test

int main(int argc, char** argv) {
  QStandardPaths::setTestModeEnabled(true);
  QApplication application(argc, argv);
  cw::gui::ApplyProductLook(application);
  cw::test::CloseFlowsTest flows;
  return QTest::qExec(&flows, argc, argv);
}

#include "close_flows.moc"
