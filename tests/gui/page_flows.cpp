// The calibration and SMB access pages on the simulated pack, the three pages at rest while
// a firmware job locks the main window, and the SBS page and its data log when the adapter goes.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <sstream>
#include <thread>

#include "gui/calibration_page.h"
#include "gui/data_flash_page.h"
#include "gui/left_column.h"
#include "gui/messages.h"
#include "gui/page_button.h"
#include "gui/register_table_model.h"
#include "gui/sbs_page.h"
#include "gui/smb_access_page.h"
#include "gui/status_bit_ctrl.h"
#include "gui_fixture.h"
#include "monitor/monitor_session.h"
#include "monitor/sbs_session.h"
#include "sim/fault_config.h"
#include "sim/sim_pack.h"

namespace cw::test {
namespace {

// The values of a data log's last line: its words after the three leading ones.
std::vector<std::string> LastLoggedValues(const std::string& text) {
  if (text.size() < 3) return {};
  std::istringstream line(text.substr(text.rfind("\r\n", text.size() - 3) + 2));
  std::vector<std::string> words;
  for (std::string word; line >> word;) words.push_back(word);
  if (words.size() < 3) return {};
  return {words.begin() + 3, words.end()};
}

bool AllNaN(const std::vector<std::string>& values) {
  return !values.empty() &&
         std::all_of(values.begin(), values.end(), [](const auto& v) { return v == "NaN"; });
}

}  // namespace

class PageFlowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiFixture> f_;
  gui::MainWindow& w() { return f_->window(); }
  bool Idle() {
    return QTest::qWaitFor([&] { return f_->tool->worker().idle(); }, 10000);
  }
  void Show(gui::Page page) { QTest::mouseClick(&w().left().page_button(page), Qt::LeftButton); }
  bool PressAndWait(QPushButton& button) { return Press(button) && Idle(); }
  std::size_t Calibrations() { return f_->gauge().CalibrationRecords().size(); }

 private slots:
  void init() {
    f_ = std::make_unique<GuiFixture>();
    QVERIFY(f_->Ready());
  }
  void cleanup() { f_.reset(); }

  void CalibrationsMoveThePacksReadings() {
    w().sbs_page().button(monitor::RowSelection::kScanAll).click();
    Show(gui::Page::kCalibration);
    gui::CalibrationPage& page = w().calibration_page();
    QVERIFY(!page.offset_bar().isVisible());
    QTRY_VERIFY(page.measured(0).text().toInt() > 3000);
    // The pack discharges on the virtual clock; the references stand 300 mV above it.
    const int reference = page.measured(0).text().toInt() + 300;

    // Under the pack's load the offset is asked about first; Cancel sends nothing.
    QTRY_VERIFY(std::abs(page.measured(8).text().toInt()) > app::kBoardAtRestMaxMa);
    QStringList questions;
    f_->tool->messages().AnswerQuestionsWith([&questions](QMessageBox& box) {
      questions << box.text();
      return box.button(QMessageBox::No);
    });
    const std::size_t before_offset = Calibrations();
    QTest::mouseClick(&page.offset_button(), Qt::LeftButton);
    f_->tool->messages().AnswerQuestionsWith(
        [](QMessageBox& box) { return box.button(QMessageBox::Yes); });
    QCOMPARE(questions.size(), qsizetype{1});
    QVERIFY(questions[0].contains(" mA flow through the pack"));
    QCOMPARE(Calibrations(), before_offset);
    QVERIFY(f_->modal.boxes.isEmpty());

    // A board at rest (both FETs off) that reads 25 mA of its own: no question, and the offset
    // calibration takes them away.
    sim::GaugeState state = f_->gauge().State();
    const std::uint16_t fets_on = state.operation_flags;
    state.board_offset_ma = 25;
    state.operation_flags &= static_cast<std::uint16_t>(~(sim::kOpDsg | sim::kOpChg));
    f_->gauge().Restore(state);
    QTRY_COMPARE(f_->gauge().Measurements().current_ma, std::int16_t{25});
    QVERIFY(PressAndWait(page.offset_button()));
    QTRY_COMPARE(f_->modal.boxes, QStringList{"Offset Calibration OK!"});
    QCOMPARE(f_->gauge().Measurements().current_ma, std::int16_t{0});
    state = f_->gauge().State();
    state.operation_flags = fets_on;
    f_->gauge().Restore(state);
    const auto offset = f_->gauge().CalibrationRecords().back();
    QCOMPARE(offset.command, std::uint8_t{0x40});
    QCOMPARE(offset.data, (common::Bytes{0x20, 0x00}));
    QTRY_COMPARE(page.offset_bar().value(), 100);
    QVERIFY(page.offset_bar().isVisible());

    // Refused before anything is sent: a sum of cells too low, a sensor without a number.
    const std::size_t sent = Calibrations();
    page.voltage_check().setChecked(true);
    page.cell(0).setText("2000");
    page.cell(1).setText("2000");
    QVERIFY(PressAndWait(page.calibrate_button()));
    page.voltage_check().setChecked(false);
    page.ts_check(0).setChecked(true);
    QTest::keyClicks(&page.temperature(0), "abc");  // the field takes no letters
    QCOMPARE(page.temperature(0).text(), QString());
    QVERIFY(PressAndWait(page.calibrate_button()));
    QTRY_COMPARE(f_->modal.boxes.size(), qsizetype{3});
    QCOMPARE(f_->modal.boxes[1],
             QString("The Enter Actual Cell Voltage'sum is too low, please reenter!"));
    QCOMPARE(f_->modal.boxes[2],
             QString("TS1 Temperature must be a number between -40.0 and 130.0 ℃, please "
                     "reenter!"));
    QCOMPARE(Calibrations(), sent);

    // Four cells and TS1 against references: the pack reads them afterwards. The scan rests
    // meanwhile, so that the virtual clock, and the pack's discharge with it, stand nearly still.
    f_->bench().PauseScan();
    page.voltage_check().setChecked(true);
    for (std::size_t i = 0; i < 4; ++i) page.cell(i).setText(QString::number(reference));
    QTest::keyClicks(&page.temperature(0), "30.5");
    QVERIFY(PressAndWait(page.calibrate_button()));
    QTRY_COMPARE(f_->modal.boxes.size(), qsizetype{4});
    QCOMPARE(f_->modal.boxes[3], QString("Calibration OK."));
    QTRY_COMPARE(page.calibration_bar().value(), 100);
    const auto now = f_->gauge().Measurements();
    for (std::size_t i = 0; i < 4; ++i) QVERIFY(std::abs(now.cell_mv[i] - reference) <= 10);
    QVERIFY(std::abs(now.sensor_dk[0] - 3036) <= 3);
    // One pass of the scan, then the page's refresh: the readings beside the fields follow.
    f_->bench().monitor().engine().ScanPass();
    page.Refresh();
    QVERIFY(std::abs(page.measured(0).text().toInt() - reference) <= 10);
    QVERIFY(std::abs(page.measured(4).text().toDouble() - 30.5) <= 0.3);
    f_->bench().ResumeScan();
  }

  void EverySmbFormOnThePack() {
    Show(gui::Page::kSmbAccess);
    gui::SmbAccessPage& page = w().smb_access_page();
    using Form = gui::SmbAccessPage::Form;
    const auto press = [&](Form form) { return PressAndWait(page.button(form)); };
    // Remaining Capacity Alarm, which nothing else writes.
    page.command(Form::kReadWord).setText("1");
    QVERIFY(press(Form::kReadWord));
    QCOMPARE(page.word_result().text(),
             QString("%1").arg(f_->GaugeWord(0x01), 4, 16, QChar('0')).toUpper());
    page.command(Form::kWriteWord).setText("01");
    page.word().setText("0140");
    QVERIFY(press(Form::kWriteWord));
    QCOMPARE(f_->GaugeWord(0x01), 0x0140);
    QVERIFY(press(Form::kReadWord));
    QCOMPARE(page.word_result().text(), QString("0140"));
    QCOMPARE(page.word_result().toolTip(), QString("Decimal: 320 (signed: 320)"));
    // A block command is no word: both fields cleared, and a box says why.
    page.command(Form::kReadWord).setText("54");
    QVERIFY(press(Form::kReadWord));
    QCOMPARE(page.command(Form::kReadWord).text(), QString());
    QCOMPARE(page.word_result().text(), QString());

    page.command(Form::kReadBlock).setText("54");
    QVERIFY(press(Form::kReadBlock));
    QVERIFY(page.block_result().toPlainText().contains(
        QRegularExpression("^[0-9A-F]{2} [0-9A-F]{2} $")));
    QVERIFY(page.block_result().toolTip().startsWith("2 bytes as text: "));

    // Two ManufacturerAccess words: the unseal key, low word first.
    f_->bench().PauseScan();
    f_->gauge().SetSealState(sim::SealState::kSealed);
    page.command(Form::kCombinedWord).setText("10");
    QVERIFY(press(Form::kCombinedWord));
    QCOMPARE(page.command(Form::kCombinedWord).text(), QString());
    page.command(Form::kCombinedWord).setText("0");
    page.word1().setText("61D4");
    page.word2().setText("3B9E");
    QVERIFY(press(Form::kCombinedWord));
    QCOMPARE(f_->gauge().seal_state(), sim::SealState::kUnsealed);
    QCOMPARE(page.word1().text(), QString("61D4"));
    f_->bench().ResumeScan();

    // The charge table's pages are not written from here; bad block data is refused.
    page.command(Form::kWriteWord).setText("77");
    page.word().setText("22");
    QVERIFY(press(Form::kWriteWord));
    page.command(Form::kWriteBlock).setText("78");
    page.block_data().setPlainText("01 02");
    QVERIFY(press(Form::kWriteBlock));
    page.command(Form::kWriteBlock).setText("2F");
    page.block_data().setPlainText("1G");
    QVERIFY(press(Form::kWriteBlock));
    QTRY_COMPARE(
        f_->modal.boxes,
        (QStringList{"0x54 is a block command: read and write it as a block.",
                     "Combined words go to 0x00 (ManufacturerAccess) or 0x47 (the boot loader), "
                     "not to 0x10.",
                     "Inhibit changing SubClassID = 0x0022 through Pro interface!",
                     "Input Data Error!"}));
    QCOMPARE(page.command(Form::kWriteBlock).text(), QString("2F"));

    // A reply with a spoiled PEC: said, and no result shown.
    sim::FaultConfig faults;
    faults.corrupt_pec_every = 1;
    f_->gauge().SetFaults(faults);
    page.command(Form::kReadWord).setText("1");
    QVERIFY(press(Form::kReadWord));
    f_->gauge().SetFaults({});
    QTRY_COMPARE(f_->modal.boxes.size(), qsizetype{5});
    QCOMPARE(f_->modal.boxes[4], QString("PEC Error!"));
    QCOMPARE(page.word_result().text(), QString());
  }

  // The adapter goes while a data log runs: every row is greyed on the page as soon as the link
  // says so, each line of the log marks every value as not read and the page counts it, and a
  // log started meanwhile marks its header too. The values come back as they are read again.
  // (The scan standing still in the middle of a pass, as behind a notice, is a monitor test.)
  void AdapterLostDuringADataLogGreysAndMarksWhatWasNotRead() {
    QTemporaryDir directory;
    gui::SbsPage& page = w().sbs_page();
    monitor::SbsSession& session = f_->bench().sbs();
    int rows = 0;
    const auto greyed = [&] {
      int greyed_rows = 0;
      rows = 0;
      for (monitor::TableId table : monitor::kScanTables) {
        gui::RegisterTableModel& list = page.model(table);
        for (int row = 0; row < list.rowCount(); ++row) {
          const QModelIndex value = list.index(row, gui::RegisterTableModel::kValue);
          greyed_rows += list.data(value, Qt::ForegroundRole).isValid() ? 1 : 0;
          ++rows;
        }
      }
      return greyed_rows;
    };
    const auto battery_status = [&] {
      return page.display(*monitor::SbsSession::DisplayIndex("Battery Status")).value();
    };
    QTest::mouseClick(&page.button(monitor::RowSelection::kLogAll), Qt::LeftButton);
    const QString path = directory.filePath("run.LOG");
    f_->modal.Then(ChooseFile(path));
    QAction& log = w().action(gui::MenuCommand::kStartDataLog);
    log.trigger();
    QTRY_VERIFY_WITH_TIMEOUT(session.View().log_tally.lines >= 2, 10000);
    QTRY_VERIFY(greyed() == 0 && battery_status() != monitor::kDisplayNotRead);
    QVERIFY(!AllNaN(LastLoggedValues(ReadFile(path))));

    const int unread_lines = session.View().log_tally.lines_with_unread;
    f_->bench().sim_pack()->Unplug();
    QTRY_VERIFY_WITH_TIMEOUT(greyed() == rows, 10000);
    QTRY_COMPARE(battery_status(), monitor::kDisplayNotRead);
    QTRY_VERIFY_WITH_TIMEOUT(AllNaN(LastLoggedValues(ReadFile(path))), 10000);
    QVERIFY(session.View().log_tally.lines_with_unread > unread_lines);
    log.trigger();

    const QString while_lost = directory.filePath("lost.LOG");
    f_->modal.Then(ChooseFile(while_lost));
    log.trigger();
    QTRY_VERIFY_WITH_TIMEOUT(session.View().log_tally.lines >= 1, 10000);
    QTRY_VERIFY(AllNaN(LastLoggedValues(ReadFile(while_lost))));
    QVERIFY(ReadFile(while_lost).find("\r\nDesignCapacity: NaN\r\n") != std::string::npos);
    QCOMPARE(session.View().log_tally.lines_with_unread, session.View().log_tally.lines);
    log.trigger();

    f_->bench().sim_pack()->Plug();
    QTRY_VERIFY_WITH_TIMEOUT(greyed() == 0 && battery_status() != monitor::kDisplayNotRead, 10000);
  }

  void PagesRestWhileTheMainUiIsLocked() {
    QPushButton* controls[] = {&w().data_flash_page().read_all(),
                               &w().calibration_page().calibrate_button(),
                               &w().smb_access_page().button(gui::SmbAccessPage::kReadWord)};
    std::thread([&] { f_->bench().main_ui().LockMainUi(); }).join();
    for (QPushButton* control : controls) QTRY_VERIFY(!control->isEnabled());
    QVERIFY(w().sbs_page().isEnabled());
    f_->bench().main_ui().UnlockMainUi();
    for (QPushButton* control : controls) QTRY_VERIFY(control->isEnabled());
  }
};

std::unique_ptr<QObject> PageFlows() { return std::make_unique<PageFlowsTest>(); }

}  // namespace cw::test

#include "page_flows.moc"
