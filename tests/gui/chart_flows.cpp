// The SBS page's live chart as a user meets it: the time axis on the local clock at round steps,
// "15 min" showing fifteen minutes, Pause reading Resume while paused, the picture export, and the
// split between lists and chart that grows with the window and comes back after a restart.
#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>

#include "gui/chart_panel.h"
#include "gui/gauge_tool_app.h"
#include "gui/messages.h"
#include "gui/qt_text.h"
#include "gui/sbs_page.h"
#include "gui_fixture.h"
#include "monitor/sbs_session.h"

namespace cw::test {

class ChartFlows : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiFixture> f_;
  gui::MainWindow& w() { return f_->window(); }
  gui::ChartPanel& chart() { return w().sbs_page().chart(); }
  void ShowChart() {
    gui::SbsPage& page = w().sbs_page();
    QTest::mouseClick(&page.button(monitor::RowSelection::kScanAll), Qt::LeftButton);
    QTabBar& tabs = page.tabs();
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(2).center());
  }
  static int SecondOfDay(const QString& label) {
    const QTime time = QTime::fromString(label.right(8), "hh:mm:ss");
    return time.isValid() ? time.msecsSinceStartOfDay() / 1000 : -1;
  }

 private slots:
  void cleanup() { f_.reset(); }

  void ClockAxisFifteenMinutesPauseAndPicture() {
    const int before = QTime::currentTime().msecsSinceStartOfDay() / 1000;
    f_ = std::make_unique<GuiFixture>();
    const int after = QTime::currentTime().msecsSinceStartOfDay() / 1000;
    QVERIFY(f_->Ready());
    w().resize(1280, 800);
    QTRY_COMPARE(w().size(), QSize(1280, 800));
    ShowChart();
    chart().window_choice().setCurrentIndex(2);  // 15 min
    QTRY_VERIFY(chart().samples().View(10).series.at(1).points.size() > 3);
    // Samples keep coming while the flow looks: the newest one before the redraw is in it.
    const double newest = chart().samples().View(10).end_seconds;
    chart().Redraw();

    // Fifteen minutes however young the chart, ending after its newest sample.
    auto* axis = qobject_cast<QCategoryAxis*>(chart().chart()->axes(Qt::Horizontal).front());
    QVERIFY(axis != nullptr);
    QCOMPARE(axis->max() - axis->min(), 900.0);
    QVERIFY(axis->max() >= newest);

    // Labels on the local clock, one round step apart, each the clock time of its place.
    const presentation::ChartTimeAxis& ticks = chart().time_ticks();
    // Once the window has its size, the plot is wide enough for three labels at least.
    QTRY_VERIFY((chart().Redraw(), ticks.ticks.size() >= 3));
    const QStringList labels = axis->categoriesLabels();
    QCOMPARE(labels.size(), qsizetype(ticks.ticks.size()));
    const QRegularExpression clock(R"(^(\d{4}-\d\d-\d\d )?\d\d:\d\d:\d\d$)");
    const std::array<int, 5> round_steps = {60, 120, 300, 600, 900};
    QVERIFY(std::find(round_steps.begin(), round_steps.end(), ticks.step_seconds) !=
            round_steps.end());
    for (std::size_t i = 0; i < ticks.ticks.size(); ++i) {
      const QString label = labels[static_cast<qsizetype>(i)];
      QVERIFY2(clock.match(label).hasMatch(), qPrintable(label));
      QCOMPARE(label, gui::Q(ticks.ticks[i].label));
      QCOMPARE(axis->endValue(label), ticks.ticks[i].seconds);
      const int second = SecondOfDay(label);
      QCOMPARE(second % static_cast<int>(ticks.step_seconds), 0);
      // The chart's second 0 was the clock time when the window opened.
      const int origin =
          (second - static_cast<int>(std::lround(ticks.ticks[i].seconds)) + 10 * 86'400) % 86'400;
      QVERIFY2(origin >= before - 1 && origin <= after + 1, qPrintable(label));
    }

    // Pause reads Resume while paused.
    QPushButton& pause = chart().pause_button();
    QTest::mouseClick(&pause, Qt::LeftButton);
    QCOMPARE(pause.text(), gui::Q(gui::messages::kChartResume));
    QVERIFY(chart().samples().paused());
    QTest::mouseClick(&pause, Qt::LeftButton);
    QCOMPARE(pause.text(), gui::Q(gui::messages::kChartPause));
    QVERIFY(!chart().samples().paused());
    QTest::mouseClick(&pause, Qt::LeftButton);

    // The picture: twice the chart, captioned with what it is and the span of time it shows.
    QTemporaryDir directory;
    const QString png = directory.filePath("chart.png");
    QVERIFY(chart().ExportPng(png));
    QCOMPARE(QImage(png).size(), chart().view().viewport()->size() * 2);
    const QStringList caption = chart().PictureCaption();
    QCOMPARE(caption.front(), gui::Q(gui::messages::kChartPictureTitle));
    const QRegularExpression range(
        R"(^\d{4}-\d\d-\d\d (\d\d:\d\d:\d\d) to (\d{4}-\d\d-\d\d )?(\d\d:\d\d:\d\d)$)");
    const auto match = range.match(caption.back());
    QVERIFY2(match.hasMatch(), qPrintable(caption.back()));
    QCOMPARE((SecondOfDay(match.captured(3)) - SecondOfDay(match.captured(1)) + 86'400) % 86'400,
             900);
    QVERIFY2(chart().chart()->title().isEmpty(), "the caption is the picture's only");
  }

  // Nothing read (nothing ticked for Scan here; a real adapter that waits out its time-outs
  // alike): the chart still moves on with the clock and never shows a time long past as now.
  void TheChartFollowsTheClockWhileNothingIsRead() {
    f_ = std::make_unique<GuiFixture>("sim");
    QVERIFY(f_->Ready());
    QTabBar& tabs = w().sbs_page().tabs();
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(2).center());
    QTRY_VERIFY(chart().isVisible());
    const double shown = chart().drawn_until();
    QTRY_VERIFY(chart().drawn_until() > shown + 1.5);
    QVERIFY(chart().samples().View(10).series.front().points.empty());
  }

  void TheSplitGrowsWithTheWindowAndComesBack() {
    f_ = std::make_unique<GuiFixture>();
    QVERIFY(f_->Ready());
    ShowChart();
    const QSize size = w().minimumSizeHint().expandedTo({1100, 700}) + QSize(40, 30);
    w().resize(size);
    QTRY_COMPARE(w().size(), size);
    QChartView& view = chart().view();
    const int height = view.height();
    w().resize(size + QSize(0, 200));
    QTRY_VERIFY(view.height() > height + 50);

    // The user gives the chart more room and picks a window; both are there after a restart.
    w().resize(size);
    QSplitter& splitter = w().sbs_page().splitter();
    QTRY_COMPARE(w().size(), size);
    const QList<int> before = splitter.sizes();
    splitter.setSizes({before[0] - 80, before[1] + 80});
    const QList<int> moved = splitter.sizes();
    QVERIFY(moved != before);
    chart().window_choice().setCurrentIndex(1);  // 5 min
    w().close();
    QTRY_VERIFY(!w().isVisible());
    f_ = std::make_unique<GuiFixture>("sim:clock=virtual", true);
    QVERIFY(QTest::qWaitForWindowExposed(&w()));
    // The hint above the lists takes room until something is scanned.
    ShowChart();
    QTRY_COMPARE(w().sbs_page().splitter().sizes(), moved);
    QCOMPARE(chart().samples().window(), common::Millis{300'000});
    QCOMPARE(chart().window_choice().currentIndex(), 1);
  }
};

}  // namespace cw::test

int main(int argc, char** argv) {
  QStandardPaths::setTestModeEnabled(true);
  QApplication application(argc, argv);
  cw::gui::ApplyProductLook(application);
  cw::test::ChartFlows flows;
  return QTest::qExec(&flows, argc, argv);
}

#include "chart_flows.moc"
