// The data flash page and the File menu's constants commands on the simulated pack: what a user
// clicks and types on the page, and what the pack holds afterwards.
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>

#include "dataflash/bit_view.h"
#include "dataflash/messages.h"
#include "dataflash/row_filter.h"
#include "gui/data_flash_page.h"
#include "gui/flash_tip.h"
#include "gui/left_column.h"
#include "gui/main_status_bar.h"
#include "gui/messages.h"
#include "gui/page_button.h"
#include "gui/param_list_model.h"
#include "gui/param_value_delegate.h"
#include "gui/qt_text.h"
#include "gui_fixture.h"
#include "sim/sim_pack.h"
#include "sim/subclass_table.h"

namespace cw::test {
namespace {

using gui::ParamListModel;

}  // namespace

class DataFlashFlowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiFixture> f_;
  gui::DataFlashPage& page() { return f_->window().data_flash_page(); }
  bool Idle() {
    return QTest::qWaitFor([&] { return f_->tool->worker().idle(); }, 10000);
  }

  // The shown cell of a parameter, on its tab.
  QModelIndex Cell(std::string_view name, int column) {
    const std::size_t list = dataflash::ListOfRow(*dataflash::FindParam(name));
    page().tabs().setCurrentIndex(static_cast<int>(list / 3));
    return page().model(list).index(page().model(list).ViewRowOf(name), column);
  }
  QTableView& ListOf(std::string_view name) {
    return page().list(dataflash::ListOfRow(*dataflash::FindParam(name)));
  }
  QString Shown(std::string_view name) {
    return Cell(name, ParamListModel::kValue).data().toString();
  }
  void Click(std::string_view name, int column) {
    const QModelIndex cell = Cell(name, column);
    QTableView& view = ListOf(name);
    // The lists come back on with the page's next (throttled) refresh after a transfer, which
    // may still be on its way when the worker is already idle.
    QVERIFY2(QTest::qWaitFor([&] { return view.isEnabled(); }, 10000), "list enabled again");
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(cell).center());
  }
  // The in-place editor open in the parameter's list.
  QLineEdit* Editor(std::string_view name) {
    for (QLineEdit* editor : ListOf(name).findChildren<QLineEdit*>()) {
      if (editor->isVisible()) return editor;
    }
    return nullptr;
  }
  // Types `text` into the Value cell's editor and ends it with `key`.
  bool Edit(std::string_view name, const char* text, Qt::Key key = Qt::Key_Return) {
    Click(name, ParamListModel::kValue);
    QLineEdit* editor = Editor(name);
    if (editor == nullptr) return false;
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, key);
    return Idle();
  }
  std::uint32_t GaugeValue(std::string_view name) {
    const dataflash::ParamDef& def = dataflash::kParams[*dataflash::FindParam(name)];
    const auto bytes = f_->gauge().State().memory.ReadSubclass(
        *sim::FindSubclassPlace(def.subclass), def.offset, dataflash::FieldSize(def));
    std::uint32_t value = 0;
    for (std::uint8_t byte : *bytes) value = value << 8 | byte;
    return value;
  }
  void SetGaugeValue(std::string_view name, std::uint32_t value) {
    const dataflash::ParamDef& def = dataflash::kParams[*dataflash::FindParam(name)];
    common::Bytes bytes(dataflash::FieldSize(def));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      bytes[bytes.size() - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    sim::GaugeState state = f_->gauge().State();
    state.memory.WriteSubclass(*sim::FindSubclassPlace(def.subclass), def.offset, bytes);
    f_->gauge().Restore(state);
  }
  bool ReadAll() { return Press(page().read_all()) && Idle(); }
  // The Value cell's colour with no row selected or current (their frames paint over the marks).
  QRgb ValueCellColour(std::string_view name) {
    const QModelIndex cell = Cell(name, ParamListModel::kValue);
    QTableView& view = ListOf(name);
    view.clearSelection();
    view.setCurrentIndex({});
    const QRect rect = view.visualRect(cell);
    return view.viewport()->grab().toImage().pixel(rect.right() - 3, rect.center().y()) & 0xFFFFFF;
  }

 private slots:
  void init() {
    f_ = std::make_unique<GuiFixture>();
    QVERIFY(f_->Ready());
    QTest::mouseClick(&f_->window().left().page_button(gui::Page::kDataFlash), Qt::LeftButton);
  }
  void cleanup() { f_.reset(); }

  void BeforeAReadAllEditsAreIgnoredAndWriteAllOnlyReads() {
    QCOMPARE(page().tabs().count(), 7);
    QCOMPARE(page().tabs().tabText(5), QString("Vireon Gauging"));
    QCOMPARE(ListOf("COV Time").horizontalHeader()->sectionSize(0), 155);
    QCOMPARE(Shown("CUV Threshold"), QString());
    const auto memory = f_->gauge().State().memory;
    QVERIFY(Edit("CUV Threshold", "2600"));
    QCOMPARE(page().note().text(), gui::Q(dataflash::messages::kEditIgnored));
    QCOMPARE(Shown("CUV Threshold"), QString());

    QVERIFY(Press(page().write_all()));
    QVERIFY(Idle());
    QCOMPARE(Shown("CUV Threshold"), QString::number(GaugeValue("CUV Threshold")));
    QVERIFY2(f_->gauge().State().memory == memory, "nothing written");
    QCOMPARE(f_->gauge().resets(), 0);
    QVERIFY(f_->modal.boxes.isEmpty());
  }

  void ReadAllEditsAndMarksChangedValuesRed() {
    QVERIFY(ReadAll());
    QTRY_COMPARE(f_->window().status().pane(1), QString("DF Task Progress: 100%"));
    QCOMPARE(f_->window().status().pane(2), QString(" Task Completed."));
    QCOMPARE(Shown("CUV Threshold"), QString::number(GaugeValue("CUV Threshold")));

    QVERIFY(Edit("CUV Threshold", "2600"));
    QCOMPARE(GaugeValue("CUV Threshold"), 2600u);
    QCOMPARE(Shown("CUV Threshold"), QString("2600"));
    QVERIFY(ValueCellColour("CUV Threshold") != gui::ParamValueDelegate::kMarkedValue);

    // F2 opens the editor too. Escape, and a click elsewhere, leave the value alone; a value out
    // of limits is refused.
    ListOf("COV Time").setCurrentIndex(Cell("COV Time", ParamListModel::kName));
    QTest::keyClick(&ListOf("COV Time"), Qt::Key_F2);
    QVERIFY(Editor("COV Time") != nullptr);
    QCOMPARE(Editor("COV Time")->text(), Shown("COV Time"));
    QTest::keyClick(Editor("COV Time"), Qt::Key_Escape);
    QVERIFY(Edit("CUV Threshold", "1234", Qt::Key_Escape));
    QVERIFY(Edit("CUV Threshold", "40000"));
    Click("CUV Threshold", ParamListModel::kValue);
    QVERIFY(Editor("CUV Threshold") != nullptr);
    QTest::keyClicks(Editor("CUV Threshold"), "999");
    Click("COV Time", ParamListModel::kName);
    QVERIFY(Idle());
    QCOMPARE(GaugeValue("CUV Threshold"), 2600u);
    QCOMPARE(Shown("CUV Threshold"), QString("2600"));
    QCOMPARE(f_->modal.boxes.size(), qsizetype{1});
    QVERIFY(
        f_->modal.boxes[0].startsWith("The value entered is out of limits. Please enter a "
                                      "value between 0 and 32767 mV"));

    // A value that changed on the gauge is red after the next Read All.
    SetGaugeValue("COV Time", GaugeValue("COV Time") + 1);
    QVERIFY(ReadAll());
    QCOMPARE(ValueCellColour("COV Time"), gui::ParamValueDelegate::kMarkedValue);
    QVERIFY(ValueCellColour("CUV Threshold") != gui::ParamValueDelegate::kMarkedValue);
  }

  void BitViewTogglesABitAndWritesIt() {
    QVERIFY(ReadAll());
    Click("Operation Cfg A", ParamListModel::kName);
    gui::FlashTip& tip = page().bit_view();
    QVERIFY(tip.flag() && tip.flag()->bit_view_id == 1179);
    QCOMPARE(tip.value(), 0x0310);
    QCOMPARE(page().bit_caption().text(), QString("Operation Cfg A: 0310"));
    const QRect bit0 = tip.CellRect(0);
    QVERIFY(!bit0.isEmpty());
    QTest::mouseClick(&tip, Qt::LeftButton, {}, bit0.topLeft() + QPoint(4, 4));
    QCOMPARE(tip.edited(), std::optional<std::uint16_t>(0x0311));
    QCOMPARE(page().bit_caption().text(), QString("Operation Cfg A: 0311 (the gauge holds 0310)"));
    QCOMPARE(tip.grab().toImage().pixel(bit0.topLeft() + QPoint(3, 3)) & 0xFFFFFF,
             gui::FlashTip::kSetCell);
    QVERIFY(Press(page().write_bits()));
    QVERIFY(Idle());
    QCOMPARE(GaugeValue("Operation Cfg A"), 0x0311u);
    QTRY_COMPARE(tip.value(), 0x0311);
    QVERIFY(!tip.edited());

    // Another tab hides it; a Name in a list without bit views opens none.
    page().tabs().setCurrentIndex(0);
    QVERIFY(!tip.flag());
    Click("CUV Threshold", ParamListModel::kName);
    QVERIFY(!tip.flag());
  }

  void ConstantsFileSavedAndLoadedBack() {
    QTemporaryDir directory;
    const QString chosen = directory.filePath("pack");
    f_->modal.Then(ChooseFile(chosen));
    QVERIFY(Trigger(f_->window().action(gui::MenuCommand::kSaveAllFlash)));
    QTRY_COMPARE(f_->modal.boxes, QStringList{"Save Finish!"});
    QVERIFY(Idle());
    const QString file = chosen + ".afi";
    QVERIFY(std::filesystem::is_regular_file(gui::S(file)));

    const std::uint32_t saved = GaugeValue("CUV Threshold");
    QVERIFY(Edit("CUV Threshold", QByteArray::number(saved + 50).constData()));
    QCOMPARE(GaugeValue("CUV Threshold"), saved + 50);
    f_->modal.Then(ChooseFile(file));
    QVERIFY(Trigger(f_->window().action(gui::MenuCommand::kOpenAllFlash)));
    QTRY_COMPARE(f_->modal.boxes.size(), qsizetype{2});
    QCOMPARE(f_->modal.boxes[1], QString("Load Process Suscess!"));
    QVERIFY(Idle());
    QCOMPARE(GaugeValue("CUV Threshold"), saved);
    QCOMPARE(Shown("CUV Threshold"), QString::number(saved));

    // Sealed: said before any file is asked for.
    f_->gauge().SetSealState(sim::SealState::kSealed);
    bool asked = false;
    f_->modal.Then([&](QWidget* dialog) {
      asked = true;
      QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
      return true;
    });
    QVERIFY(Trigger(f_->window().action(gui::MenuCommand::kOpenAllFlash)));
    QTRY_COMPARE(f_->modal.boxes.size(), qsizetype{3});
    QVERIFY(Idle());
    QCOMPARE(f_->modal.boxes[2], QString("Device is sealed, write afi file fail!"));
    QVERIFY(!asked);
    QVERIFY(f_->window().action(gui::MenuCommand::kOpenAllFlash).isEnabled());
  }

  void FilterAcrossTabsAndCompareWithAFile() {
    QLineEdit& filter = page().filter();
    QTest::keyClicks(&filter, "operation cfg");
    QCOMPARE(page().tabs().currentIndex(), 4);
    QCOMPARE(page().tabs().tabText(4), QString("Configuration (3)"));
    QVERIFY(!page().tabs().isTabEnabled(0));
    QCOMPARE(
        page().model(12).rowCount() + page().model(13).rowCount() + page().model(14).rowCount(), 3);
    filter.clear();
    QTest::keyClicks(&filter, "Recovery");
    std::size_t in_list_1 = 0;
    for (const auto& row : dataflash::ListRows(0))
      in_list_1 += dataflash::NameMatches(row.name, "Recovery");
    QCOMPARE(page().model(0).rowCount(), static_cast<int>(in_list_1));
    QCOMPARE(page().tabs().currentIndex(), 0);
    filter.clear();
    QCOMPARE(page().tabs().tabText(0), QString("1st Level Safety"));
    QCOMPARE(page().model(0).rowCount(), 18);

    // A file saved now, then two values changed on the gauge. The scan rests meanwhile, so that
    // the virtual clock stands nearly still and the pack learns nothing in between (a full charge
    // would change its learned capacities too).
    f_->bench().PauseScan();
    QTemporaryDir directory;
    const QString file = directory.filePath("before.afi");
    f_->modal.Then(ChooseFile(file));
    QVERIFY(Trigger(f_->window().action(gui::MenuCommand::kSaveAllFlash)));
    QTRY_COMPARE(f_->modal.boxes.size(), qsizetype{1});
    QVERIFY(Idle());
    const std::uint32_t cuv = GaugeValue("CUV Threshold");
    SetGaugeValue("CUV Threshold", cuv + 5);
    SetGaugeValue("Operation Cfg B", GaugeValue("Operation Cfg B") ^ 0x0001);
    QVERIFY(ReadAll());
    page().CompareWith(gui::S(file));
    QVERIFY(Idle());
    const QModelIndex name = Cell("CUV Threshold", ParamListModel::kName);
    QTRY_VERIFY(name.data(ParamListModel::kDiffersRole).toBool());
    QCOMPARE(name.data(Qt::ToolTipRole).toString(), QString("In before.afi: %1").arg(cuv));
    QVERIFY(
        Cell("Operation Cfg B", ParamListModel::kName).data(ParamListModel::kDiffersRole).toBool());
    QVERIFY(!Cell("COV Time", ParamListModel::kName).data(ParamListModel::kDiffersRole).toBool());
    QVERIFY2(page().note().text().startsWith("before.afi: 2 of 340 parameters differ"),
             qPrintable(page().note().text()));

    // Writing the file's value back clears its mark.
    QVERIFY(Edit("CUV Threshold", QByteArray::number(cuv).constData()));
    QTRY_VERIFY(
        !Cell("CUV Threshold", ParamListModel::kName).data(ParamListModel::kDiffersRole).toBool());
    QVERIFY(page().note().text().startsWith("before.afi: 1 of 340 parameters differ"));
    QVERIFY(Press(page().clear_compare()));
    QVERIFY(!Cell("Operation Cfg B", ParamListModel::kName)
                 .data(ParamListModel::kDiffersRole)
                 .toBool());

    // A file that is no constants file is refused with the reader's message.
    page().CompareWith(gui::S(directory.filePath("missing.afi")));
    QTRY_COMPARE(f_->modal.boxes.size(), qsizetype{2});
    QVERIFY(f_->modal.boxes[1].contains("missing.afi"));
  }

  void ValueTooltipsGiveLimitsDefaultAndUnit() {
    QVERIFY(ReadAll());
    const std::pair<std::string_view, QString> tips[] = {
        {"CUV Threshold",
         "Limits: 0 to 32767 mV\nDefault (fresh simulated pack): 2500 mV\nUnit: mV"},
        {"Over Temp Chg",
         "Limits: -40.0 to 130.0 ℃\nDefault (fresh simulated pack): 55.0 ℃\nUnit: ℃"},
        {"Device Name",
         "Length: at most 20 characters\nDefault (fresh simulated pack): KT580714\nUnit: ASCII"},
    };
    for (const auto& [name, tip] : tips) {
      QCOMPARE(Cell(name, ParamListModel::kValue).data(Qt::ToolTipRole).toString(), tip);
    }
    // A held edit says so first, and the rest follows.
    page().hold().setChecked(true);
    QVERIFY(Edit("CUV Threshold", "2600"));
    const QString held =
        Cell("CUV Threshold", ParamListModel::kValue).data(Qt::ToolTipRole).toString();
    QVERIFY2(held.endsWith(tips[0].second) && held.count('\n') == 3, qPrintable(held));
  }

  void ListsShareThePageWidthAndTheBitViewIsReadable() {
    QVERIFY(ReadAll());
    for (const QSize size : {QSize(1280, 720), QSize(1600, 1000)}) {
      f_->window().resize(size);
      QTRY_COMPARE(f_->window().size(), size);
      for (int tab = 0; tab < page().tabs().count(); ++tab) {
        page().tabs().setCurrentIndex(tab);
        QTest::qWait(1);
        int lists = 0;
        for (std::size_t i = 0; i < 3; ++i) lists += page().list(3 * tab + i).width();
        QVERIFY2(lists >= 0.9 * page().width() && page().width() <= size.width(),
                 qPrintable(QString("%1 px of lists on a page of %2 px, tab %3 at %4 wide")
                                .arg(lists)
                                .arg(page().width())
                                .arg(tab)
                                .arg(size.width())));
      }
      // The widest register: every name in the window's font, in a cell of its own.
      Click("Operation Cfg B", ParamListModel::kName);
      gui::FlashTip& tip = page().bit_view();
      QTRY_VERIFY(tip.flag() && tip.flag()->name == "Operation Cfg B");
      QVERIFY(QFontInfo(tip.TextFont()).pixelSize() >= QFontInfo(QApplication::font()).pixelSize());
      QVERIFY(tip.width() >= tip.minimumSizeHint().width());
      QVERIFY(tip.CellRect(0).right() < tip.width());
    }
  }

  void HeldEditsWaitForWriteAllAndUndo() {
    QVERIFY(ReadAll());
    const std::uint32_t cuv = GaugeValue("CUV Threshold");
    const std::uint32_t cov = GaugeValue("COV Time");
    page().hold().setChecked(true);
    QVERIFY(Edit("CUV Threshold", "2600"));
    QVERIFY(Edit("COV Time", "7"));
    QCOMPARE(GaugeValue("CUV Threshold"), cuv);
    QCOMPARE(Shown("CUV Threshold"), QString("2600"));
    QVERIFY(Cell("COV Time", ParamListModel::kValue).data(ParamListModel::kHeldRole).toBool());
    QCOMPARE(ValueCellColour("COV Time"), gui::ParamValueDelegate::kHeldValue);
    QVERIFY(page().note().text().contains("Edits held for Write All: 2"));

    QVERIFY(Press(page().undo()));
    QTRY_COMPARE(Shown("COV Time"), QString::number(cov));
    QVERIFY(!Cell("COV Time", ParamListModel::kValue).data(ParamListModel::kHeldRole).toBool());
    QVERIFY(Press(page().write_all()));
    QVERIFY(Idle());
    QCOMPARE(GaugeValue("CUV Threshold"), 2600u);
    QCOMPARE(GaugeValue("COV Time"), cov);
    QTRY_VERIFY(
        !Cell("CUV Threshold", ParamListModel::kValue).data(ParamListModel::kHeldRole).toBool());
    QCOMPARE(f_->bench().data_flash().View().held_count, std::size_t{0});
    QVERIFY(!page().undo().isEnabled());
  }
};

std::unique_ptr<QObject> DataFlashFlows() { return std::make_unique<DataFlashFlowsTest>(); }

}  // namespace cw::test

#include "data_flash_flows.moc"
