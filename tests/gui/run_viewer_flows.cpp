// The data log viewer as a user meets it: a log the product wrote while the adapter was lost
// opens with its gap, a second log lies over it with its own legend entries, a click reads every
// shown register at one time, and the picture is saved.
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QListWidget>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "gui/gauge_tool_app.h"
#include "gui/main_window.h"
#include "gui/run_viewer.h"
#include "gui_fixture.h"
#include "monitor/data_log.h"
#include "monitor/local_time.h"
#include "monitor/monitor_session.h"
#include "monitor/run_log.h"
#include "sim/sim_pack.h"

namespace cw::test {

std::tm At(int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 11;
  time.tm_mday = 9;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

// 2026-12-09 as the logs count it.
constexpr double kDecember9 = 20'796.0 * 86'400;

class RunViewerFlows : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiFixture> f_;
  QTemporaryDir directory_;

  bool Current(std::string_view name) {
    const monitor::RegisterTable table = f_->bench().monitor().engine().Snapshot();
    return table.Current(*table.FindRow(name));
  }

  // A log by the product's data log, one line a second from `start`: two lines read, three while
  // the adapter is lost, two read again. Returns the Voltage text of its first line.
  std::string WriteLostLog(const QString& path, int start_hour) {
    monitor::ScanEngine& engine = f_->bench().monitor().engine();
    engine.WithTable([](monitor::RegisterTable& table) {
      for (const char* name : {"Voltage", "Current"}) {
        table.FindRow(name)->log = true;
        table.FindRow(name)->scan = true;
      }
    });
    [&] { QTRY_VERIFY_WITH_TIMEOUT(Current("Voltage") && Current("Current"), 10000); }();
    if (QTest::currentTestFailed()) return {};
    monitor::FixedLocalTime time(At(start_hour, 0, 0));
    monitor::DataLog log(engine, time);
    if (!log.StartLog(path.toStdString(), 1)) return {};
    int second = 0;
    const auto line = [&] {
      time.Set(At(start_hour, 0, second++));
      return log.WriteLogLine().has_value();
    };
    const std::string first_voltage(engine.Snapshot().FindRow("Voltage")->DisplayText());
    bool written = line() && line();
    f_->bench().sim_pack()->Unplug();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(!Current("Voltage") && !Current("Current"), 10000); }();
    if (QTest::currentTestFailed()) return {};
    written = written && line() && line() && line();
    f_->bench().sim_pack()->Plug();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(Current("Voltage") && Current("Current"), 10000); }();
    if (QTest::currentTestFailed()) return {};
    written = written && line() && line();
    log.StopLog();
    return written ? first_voltage : std::string();
  }

 private slots:
  void init() {
    f_ = std::make_unique<GuiFixture>();
    QVERIFY(f_->Ready());
  }
  void cleanup() { f_.reset(); }

  void ALostLinkShowsAsAGapTwoRunsOverlayAndTheCursorReads() {
    const QString first = directory_.filePath("monday.LOG");
    const QString second = directory_.filePath("tuesday.LOG");
    const std::string first_voltage = WriteLostLog(first, 10);
    QVERIFY(!first_voltage.empty());
    QVERIFY(!WriteLostLog(second, 14).empty());

    gui::RunViewer& viewer = f_->window().run_viewer();
    viewer.show();
    viewer.resize(1000, 600);
    QSignalSpy read(&viewer, &gui::RunViewer::fileRead);
    viewer.Open({first});
    QTRY_COMPARE(viewer.chart().run_count(), std::size_t{1});
    QCOMPARE(viewer.reading(), 0);
    QTRY_VERIFY(!viewer.thinning());
    // The registers of the log, the default ones ticked.
    QCOMPARE(viewer.register_list().count(), 2);
    QCOMPARE(viewer.register_list().item(0)->checkState(), Qt::Checked);
    QCOMPARE(viewer.LegendNames(), QStringList({"Voltage (monday.LOG)", "Current (monday.LOG)"}));
    // Rows 3 to 5 were not read: each line stops before them and goes on after.
    for (std::size_t line = 0; line < 2; ++line) {
      QCOMPARE(viewer.SegmentCount(line), 2);
      const auto& segments = viewer.plot().lines()[line].segments;
      QCOMPARE(segments.front().back().x, 1.0);
      QCOMPARE(segments.back().front().x, 5.0);
    }

    viewer.Open({second});
    QTRY_COMPARE(viewer.chart().run_count(), std::size_t{2});
    QTRY_VERIFY(!viewer.thinning());
    QCOMPARE(viewer.LegendNames(), QStringList({"Voltage (monday.LOG)", "Current (monday.LOG)",
                                                "Voltage (tuesday.LOG)", "Current (tuesday.LOG)"}));
    QVERIFY(viewer.plot().lines()[0].style != viewer.plot().lines()[2].style);
    QCOMPARE(viewer.plot().lines()[0].colour, viewer.plot().lines()[2].colour);

    // The lines follow a change from the viewer's worker, for the registers shown when they come.
    viewer.register_list().item(1)->setCheckState(Qt::Unchecked);
    QVERIFY(viewer.thinning());
    QTRY_VERIFY(!viewer.thinning());
    QCOMPARE(viewer.LegendNames(), QStringList({"Voltage (monday.LOG)", "Voltage (tuesday.LOG)"}));
    viewer.register_list().item(1)->setCheckState(Qt::Checked);
    QTRY_VERIFY(!viewer.thinning());
    QCOMPARE(viewer.LegendNames().size(), 4);
    QCOMPARE(viewer.SegmentCount(3), 2);

    // At their start the runs lie over each other; at the clock four hours apart.
    QCOMPARE(viewer.chart().span().start, 0.0);
    viewer.alignment_choice().setCurrentIndex(1);
    QCOMPARE(viewer.chart().span().start, kDecember9 + 10 * 3600);
    QCOMPARE(viewer.chart().span().end, kDecember9 + 14 * 3600 + 6);

    viewer.SetCursorAt(kDecember9 + 10 * 3600);
    const QString readout = viewer.cursor_readout().text();
    QVERIFY2(readout.contains(QString("monday.LOG  2026-12-09 10:00:00   Voltage %1 mV")
                                  .arg(QString::fromStdString(first_voltage))),
             qPrintable(readout));
    QVERIFY2(readout.contains("tuesday.LOG  no row at this time"), qPrintable(readout));
    viewer.SetCursorAt(kDecember9 + 10 * 3600 + 3);
    QVERIFY2(viewer.cursor_readout().text().contains("Voltage not read   Current not read"),
             qPrintable(viewer.cursor_readout().text()));

    const QString picture = directory_.filePath("runs.png");
    QVERIFY(viewer.ExportPng(picture));
    const QImage image(picture);
    QCOMPARE(image.size(), viewer.plot().size() * 2);
  }

  void AFileThatIsNoLogIsNamedWithItsLine() {
    const QString path = directory_.filePath("notes.LOG");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Shift notes\npack 7 swapped\n");
    file.close();
    gui::RunViewer& viewer = f_->window().run_viewer();
    viewer.Open({path});
    QTRY_COMPARE(viewer.reading(), 0);
    QCOMPARE(viewer.chart().run_count(), std::size_t{0});
    QVERIFY2(viewer.status().text().contains("notes.LOG line 1: not a data log"),
             qPrintable(viewer.status().text()));
  }
};

}  // namespace cw::test

int main(int argc, char** argv) {
  QStandardPaths::setTestModeEnabled(true);
  QApplication application(argc, argv);
  cw::gui::ApplyProductLook(application);
  cw::test::RunViewerFlows flows;
  return QTest::qExec(&flows, argc, argv);
}

#include "run_viewer_flows.moc"
