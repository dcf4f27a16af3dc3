// Flows through the Tools menu's windows on the simulated pack with a virtual clock: what a user
// chooses, types and clicks, and what the pack, the main window and the files show afterwards.
// The files the command line writes from the same inputs are the reference.
#include <fmt/format.h>

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/authentication_tool.h"
#include "app/messages.h"
#include "common/sha256.h"
#include "firmware/firmware_tool.h"
#include "firmware/messages.h"
#include "firmware/update_job.h"
#include "gui/main_window.h"
#include "gui/messages.h"
#include "gui/qt_text.h"
#include "gui/tools/authentication_window.h"
#include "gui/tools/bin_converter_window.h"
#include "gui/tools/file_choice.h"
#include "gui/tools/file_field.h"
#include "gui/tools/firmware_tool_window.h"
#include "gui/tools/fs_converter_window.h"
#include "gui/tools/tool_launcher.h"
#include "gui_fixture.h"
#include "sim/sim_pack.h"
#include "support/recording_sinks.h"
#include "update_hold.h"

namespace cw::test {
namespace {

namespace fw = cw::firmware;
using fw::ScriptGroup;
using gui::AuthField;
using gui::Q;
using gui::ToolKind;

constexpr int kRecords = 2843;

// cellwarden-cli on a pack of its own (simulated, virtual clock) in `folder`; its exit code.
int RunCli(const QStringList& arguments, const QString& folder) {
  QProcess cli;
  cli.setWorkingDirectory(folder);
  cli.start(CELLWARDEN_CLI, QStringList{"--device", "sim:clock=virtual"} + arguments);
  if (!cli.waitForFinished(60'000) || cli.exitStatus() != QProcess::NormalExit) return -1;
  return cli.exitCode();
}

// The main window's file commands and three pages rest.
bool MainUiLocked(gui::MainWindow& window) {
  return !window.action(gui::MenuCommand::kStartDataLog).isEnabled() &&
         !window.pages().widget(1)->isEnabled() && !window.pages().widget(3)->isEnabled();
}

std::uint8_t RotateLeft5(std::uint8_t value) {
  return static_cast<std::uint8_t>((value << 5) | (value >> 3));
}

}  // namespace

class ToolWindowFlowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiFixture> f_;
  // The pack's firmware and constants, as the command line reads them out of a fresh pack.
  QTemporaryDir files_;
  // Title and filter of the file dialogs answered, in order.
  QStringList dialogs_;

  gui::MainWindow& w() { return f_->window(); }
  QString File(const QString& name) { return files_.filePath(name); }

  void Restart(const std::string& device) {
    f_.reset();
    f_ = std::make_unique<GuiFixture>(device);
  }

  // The window of `kind` after its menu command, once it is up; null when it never comes.
  template <typename Window>
  Window* Open(gui::MenuCommand command, ToolKind kind) {
    w().action(command).trigger();
    if (!QTest::qWaitFor([&] { return w().tools().window(kind) != nullptr; })) return nullptr;
    return qobject_cast<Window*>(w().tools().window(kind));
  }

  // Chooses `path` through the field's button, once the window takes a choice.
  void Choose(gui::FileField& field, const QString& path) {
    if (!QTest::qWaitFor([&] { return field.button().isEnabled(); })) return;
    f_->modal.Then([this, path](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (dialog != nullptr) dialogs_ << dialog->windowTitle() + " | " + dialog->nameFilters()[0];
      return ChooseFile(path)(modal);
    });
    QTest::mouseClick(&field.button(), Qt::LeftButton);
  }

  bool Idle(const gui::ToolWindow& window) {
    return QTest::qWaitFor([&] { return window.idle() && f_->tool->worker().idle(); });
  }

  // Loads the image the command line exported into the firmware window and waits until the window
  // takes clicks again: the path shows before the loading job has ended.
  bool LoadImage(gui::FirmwareToolWindow& window) {
    Choose(window.image(), File("fw.bin"));
    return QTest::qWaitFor([&] { return window.image().path().text() == File("fw.bin"); }) &&
           Idle(window);
  }

  // Opens the firmware window, loads the image and starts the update, until `hold` keeps it at
  // its record on the bus; null when a step fails.
  gui::FirmwareToolWindow* StartHeldUpdate(const UpdateHold& hold) {
    auto* window =
        Open<gui::FirmwareToolWindow>(gui::MenuCommand::kFirmwareUpdate, ToolKind::kFirmware);
    if (window == nullptr || !LoadImage(*window)) return nullptr;
    return Press(window->start()) && QTest::qWaitFor([&] { return hold.held(); }) ? window
                                                                                  : nullptr;
  }

  // Clicks `button` and waits until its work is done and the message box has been answered.
  bool ClickAndWait(const gui::ToolWindow& window, QPushButton& button) {
    const auto shown = f_->modal.boxes.size();
    return Press(button) && QTest::qWaitFor([&] { return f_->modal.boxes.size() > shown; }) &&
           Idle(window);
  }
  QString LastBox() { return f_->modal.boxes.isEmpty() ? QString() : f_->modal.boxes.last(); }

 private slots:
  void initTestCase() {
    QVERIFY(files_.isValid());
    QCOMPARE(RunCli({"fw", "export", "fw.bin"}, files_.path()), 0);
    QCOMPARE(RunCli({"df", "read-all", "-o", "pack.afi"}, files_.path()), 0);
  }
  void init() {
    f_ = std::make_unique<GuiFixture>();
    QVERIFY(f_->tool);
    QVERIFY(QTest::qWaitForWindowExposed(&w()));
    dialogs_.clear();
  }
  void cleanup() { f_.reset(); }

  void UpdateLocksTheMainWindowUntilItSucceeds() {
    std::mutex mutex;
    std::vector<bool> locks;
    const common::Subscription watch = f_->bench().main_ui().changes().Subscribe([&](bool locked) {
      std::lock_guard lock(mutex);
      locks.push_back(locked);
    });
    UpdateHold hold(*f_->bench().sim_pack(), 1000);
    auto* window =
        Open<gui::FirmwareToolWindow>(gui::MenuCommand::kFirmwareUpdate, ToolKind::kFirmware);
    QVERIFY(window != nullptr);
    QCOMPARE(window->windowTitle(), QString("Firmware Update"));
    QVERIFY(!window->update_bar().isVisible());

    QVERIFY(LoadImage(*window));
    QCOMPARE(window->image().path().text(), File("fw.bin"));
    QCOMPARE(dialogs_, QStringList{"Download Cellwarden Bin File | Cellwarden Bin File (*.bin)"});
    QVERIFY(!MainUiLocked(w()));

    QVERIFY(Press(window->start()));
    QTRY_VERIFY(hold.held());
    QTRY_COMPARE(window->counter().text(), QString("999/2843"));
    QTRY_VERIFY(MainUiLocked(w()));
    QVERIFY(window->update_bar().isVisible());
    QCOMPARE(window->update_bar().value(), 999 * 100 / kRecords);
    QVERIFY(!window->start().isEnabled());
    QVERIFY(window->update_time().text().startsWith("Elapsed "));
    QVERIFY(!window->run_again().isVisible());

    hold.Release();
    QTRY_COMPARE(f_->modal.boxes, QStringList{"Update Successfully!"});
    QTRY_VERIFY(!MainUiLocked(w()));
    QTRY_VERIFY(window->start().isEnabled());
    QCOMPARE(window->update_bar().value(), 100);
    QCOMPARE(window->counter().text(), QString("2843/2843"));
    QVERIFY(window->update_time().text().startsWith("Took "));
    QVERIFY(!window->pack_state().isVisible() && !window->run_again().isVisible());
    QCOMPARE(hold.records(), kRecords);
    {
      std::lock_guard lock(mutex);
      QCOMPARE(locks, (std::vector<bool>{true, false}));
    }

    // The Load dialog opens where the last image came from, in this run and the next.
    QCOMPARE(gui::RememberedFolder(gui::messages::kLoadFirmwareTitle), files_.path());
    QString opened_in;
    f_->modal.Then([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (dialog == nullptr) return false;
      opened_in = dialog->directory().absolutePath();
      QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
      return true;
    });
    QTest::mouseClick(&window->image().button(), Qt::LeftButton);
    QCOMPARE(opened_in, files_.path());
    QCOMPARE(window->image().path().text(), File("fw.bin"));  // cancel keeps the image
  }

  void FirmwareWindowShowsTheImageAndTimesTheUpdate() {
    // The record at half-way is held on the bus: the estimate then, against what the rest took.
    UpdateHold hold(*f_->bench().sim_pack(), kRecords / 2 + 1);
    auto* window =
        Open<gui::FirmwareToolWindow>(gui::MenuCommand::kFirmwareUpdate, ToolKind::kFirmware);
    QVERIFY(window != nullptr);
    QVERIFY(!window->identity().isVisible());
    QVERIFY(LoadImage(*window));
    const std::string image = ReadFile(File("fw.bin"));
    const auto sha = common::Sha256Hex(
        common::ByteView(reinterpret_cast<const std::uint8_t*>(image.data()), image.size()));
    QVERIFY(sha && sha->size() == 64);
    QCOMPARE(window->identity().text(),
             "Firmware version: not in the image (the gauge tells it once updated: FW_VERSION)\n"
             "Size: 90976 bytes, 2843 records\nSHA-256: " +
                 Q(*sha));
    QVERIFY(window->identity().isVisible() && !window->update_bar().isVisible());

    // The user takes half a minute over the box at the end.
    auto* clock = dynamic_cast<common::ManualClock*>(&f_->bench().clock());
    QVERIFY(clock != nullptr);
    f_->modal.on_box = [clock](QMessageBox*) { clock->Advance(common::Millis{30'000}); };
    QVERIFY(Press(window->start()));
    QTRY_VERIFY(hold.held());
    const QRegularExpression running("^Elapsed (\\d+):(\\d\\d), about (\\d+):(\\d\\d) left$");
    QRegularExpressionMatch half_way;
    QTRY_VERIFY((half_way = running.match(window->update_time().text())).hasMatch());
    const auto seconds = [](const QRegularExpressionMatch& match, int field) {
      return match.captured(field).toInt() * 60 + match.captured(field + 1).toInt();
    };
    hold.Release();
    QTRY_COMPARE(f_->modal.boxes, QStringList{"Update Successfully!"});
    const QRegularExpression took("^Took (\\d+):(\\d\\d)$");
    QRegularExpressionMatch end;
    QTRY_VERIFY((end = took.match(window->update_time().text())).hasMatch());
    QTest::qWait(1500);  // more than a tick of the window's clock
    QCOMPARE(window->update_time().text(), end.captured(0));

    // What the rest took, and the estimate, each shown to the second.
    const int truth = seconds(end, 1) - seconds(half_way, 1);
    const int estimate = seconds(half_way, 3);
    QVERIFY2(std::abs(estimate - truth) <= 0.15 * truth + 1,
             qPrintable(QString("%1 then %2: about %3 s left, %4 s taken")
                            .arg(half_way.captured(0), end.captured(0))
                            .arg(estimate)
                            .arg(truth)));
  }

  void FailedUpdateSaysWhatThePackIsLeftInAndRunsAgain() {
    // The boot loader never lets go: every record goes in, the firmware never answers.
    Restart("sim:clock=virtual:faults=stuck-boot");
    auto* window =
        Open<gui::FirmwareToolWindow>(gui::MenuCommand::kFirmwareUpdate, ToolKind::kFirmware);
    QVERIFY(window != nullptr);
    QVERIFY(LoadImage(*window));

    const QString state =
        Q(fmt::format(fmt::runtime(fw::messages::kStateNoFirmwareAnswer), kRecords));
    for (QPushButton* press : {&window->start(), &window->run_again()}) {
      QVERIFY(press->isVisible() && press->isEnabled());
      QVERIFY(ClickAndWait(*window, *press));
      QTRY_VERIFY(window->run_again().isVisible());
      QCOMPARE(LastBox(), state);
      QCOMPARE(f_->modal.icons.back(), QMessageBox::Critical);
      QCOMPARE(window->status().text(), Q(fw::messages::kStatusNoFirmware));
      QCOMPARE(window->pack_state().text(), state);
      QVERIFY(window->start().isEnabled() && window->run_again().isEnabled());
      QVERIFY(window->image().button().isEnabled());
      QTRY_VERIFY(!MainUiLocked(w()));
    }
    QCOMPARE(f_->modal.boxes, (QStringList{state, state}));
  }

  void ClosingDuringAnUpdateAbandonsItBetweenRecords() {
    auto hold = std::make_unique<UpdateHold>(*f_->bench().sim_pack(), 100);
    auto* window = StartHeldUpdate(*hold);
    QVERIFY(window != nullptr);

    // The gauge worker is kept from the tool's closing job, as a loaded machine may keep it:
    // the update stops at the record on the bus all the same, not when the closing job runs.
    std::atomic<bool> worker_free{false};
    f_->tool->worker().Run<bool>(nullptr,
                                 [&] {
                                   while (!worker_free) std::this_thread::yield();
                                   return true;
                                 },
                                 {});
    window->close();
    QTRY_VERIFY(w().tools().window(ToolKind::kFirmware) == nullptr);
    QVERIFY2(!f_->tool->worker().idle(), "the tool closes once the record on the bus is done");
    hold->Release();
    firmware::FirmwareTool* tool = f_->bench().firmware_tool();
    QVERIFY(tool != nullptr);
    QTRY_VERIFY(!tool->update().View().busy);
    QCOMPARE(hold->records(), 100);
    worker_free = true;
    QTRY_VERIFY(f_->tool->worker().idle());
    QVERIFY(f_->bench().firmware_tool() == nullptr);
    QCOMPARE(hold->records(), 100);
    QVERIFY2(f_->gauge().State().boot.mode != sim::BootMode::kNormal,
             "abandoned: the pack waits in its boot loader");
    QTRY_VERIFY(!MainUiLocked(w()));
    QVERIFY(f_->modal.boxes.isEmpty());
    hold.reset();

    // A new window starts afresh.
    window = Open<gui::FirmwareToolWindow>(gui::MenuCommand::kFirmwareUpdate, ToolKind::kFirmware);
    QVERIFY(window != nullptr);
    QCOMPARE(window->image().path().text(), QString());
  }

  void ClosingTheMainWindowStopsTheUpdateFirst() {
    auto hold = std::make_unique<UpdateHold>(*f_->bench().sim_pack(), 100);
    auto* window = StartHeldUpdate(*hold);
    QVERIFY(window != nullptr);

    // Closing waits for the update's record on the bus, with the window and its events alive.
    QVERIFY(!w().close());
    QVERIFY(w().isVisible());
    QTRY_VERIFY(w().tools().window(ToolKind::kFirmware) == nullptr);
    QTest::qWait(50);
    QVERIFY(w().isVisible());
    hold->Release();
    QTRY_VERIFY(!w().isVisible());
    QVERIFY(f_->tool->worker().idle());
    QVERIFY(f_->bench().firmware_tool() == nullptr);
    QCOMPARE(hold->records(), 100);
    QVERIFY(f_->modal.boxes.isEmpty());
  }

  void ExportWritesWhatTheCommandLineWrites() {
    auto* window =
        Open<gui::FirmwareToolWindow>(gui::MenuCommand::kFirmwareUpdate, ToolKind::kFirmware);
    QVERIFY(window != nullptr);
    QTemporaryDir out;
    // A name without extension gets the dialog's.
    Choose(window->export_path(), out.filePath("pack"));
    QTRY_COMPARE(window->export_path().path().text(), out.filePath("pack.BIN"));
    QCOMPARE(dialogs_, QStringList{"Export Firmware | Flash Data File (*.bin)"});

    f_->gauge().SetSealState(sim::SealState::kSealed);
    QVERIFY(ClickAndWait(*window, window->export_button()));
    QCOMPARE(LastBox(), Q(fw::messages::kSealedExport));
    QVERIFY(!window->export_bar().isVisible());
    QVERIFY(!std::filesystem::exists(gui::S(out.filePath("pack.BIN"))));

    f_->gauge().SetSealState(sim::SealState::kUnsealed);
    QVERIFY(ClickAndWait(*window, window->export_button()));
    QTRY_COMPARE(LastBox(), Q(fw::messages::kExportSuccess));
    QTRY_VERIFY(window->export_button().isEnabled());
    QCOMPARE(window->export_bar().value(), 100);
    QVERIFY(window->export_time().text().startsWith("Took "));
    const std::string exported = ReadFile(out.filePath("pack.BIN"));
    QCOMPARE(exported.size(), std::size_t{kRecords * 32});
    QVERIFY(exported == ReadFile(File("fw.bin")));
  }

  void ConvertersWriteWhatTheCommandLineWrites() {
    QTemporaryDir gui_dir, cli_dir;
    for (const char* name : {"fw.bin", "pack.afi"}) {
      QVERIFY(QFile::copy(File(name), gui_dir.filePath(name)));
      QVERIFY(QFile::copy(File(name), cli_dir.filePath(name)));
    }
    const QString afi = gui_dir.filePath("pack.afi");
    const QString bin = gui_dir.filePath("fw.bin");

    auto* fs = Open<gui::FsConverterWindow>(gui::MenuCommand::kConvertFs, ToolKind::kConvertFs);
    QVERIFY(fs != nullptr);
    QCOMPARE(fs->windowTitle(), QString("Convert FS File"));
    QVERIFY(ClickAndWait(*fs, fs->convert(ScriptGroup::kMerged)));
    QCOMPARE(LastBox(), Q(fw::messages::kPleaseLoadAfi));
    // Too small to be an image: refused when chosen, and the field stays empty.
    const QString small = gui_dir.filePath("small.bin");
    QFile(small).open(QIODevice::WriteOnly);
    QFile(small).resize(65'535);
    Choose(*fs->bin(ScriptGroup::kBin), small);
    QTRY_COMPARE(LastBox(), Q(fw::messages::kBinFileError));
    QVERIFY(Idle(*fs));
    QCOMPARE(fs->bin(ScriptGroup::kBin)->path().text(), QString());

    struct Conversion {
      ScriptGroup group;
      bool afi;
      bool bin;
      QString success;
    };
    const Conversion conversions[] = {
        {ScriptGroup::kAfi, true, false, Q(fw::messages::kAfiScriptSuccess)},
        {ScriptGroup::kBin, false, true, Q(fw::messages::kBinScriptSuccess)},
        {ScriptGroup::kMerged, true, true, Q(fw::messages::kMergedScriptSuccess)},
    };
    for (const Conversion& c : conversions) {
      if (c.afi) Choose(*fs->afi(c.group), afi);
      if (c.bin) Choose(*fs->bin(c.group), bin);
      QVERIFY(Idle(*fs));
      if (c.afi) QCOMPARE(fs->afi(c.group)->path().text(), afi);
      if (c.bin) QCOMPARE(fs->bin(c.group)->path().text(), bin);
      QVERIFY(ClickAndWait(*fs, fs->convert(c.group)));
      QCOMPARE(LastBox(), c.success);
    }
    QCOMPARE(dialogs_.first(), QString("Download Firmware Bin File | Firmware Bin File (*.bin)"));
    QVERIFY(dialogs_.contains("Load AFI File | AFI File (*.afi)"));
    // Escape closes the window and its converter.
    QTest::keyClick(fs, Qt::Key_Escape);
    QTRY_VERIFY(w().tools().window(ToolKind::kConvertFs) == nullptr);
    QTRY_VERIFY(f_->tool->worker().idle());
    QVERIFY(f_->bench().fs_converter() == nullptr);

    auto* merge =
        Open<gui::BinConverterWindow>(gui::MenuCommand::kConvertBin, ToolKind::kConvertBin);
    QVERIFY(merge != nullptr);
    Choose(merge->afi(), afi);
    Choose(merge->bin(), bin);
    QVERIFY(Idle(*merge));
    QVERIFY(ClickAndWait(*merge, merge->convert()));
    QCOMPARE(LastBox(), Q(fw::messages::kNewBinSuccess));

    QCOMPARE(RunCli({"convert", "afi-fs", "pack.afi"}, cli_dir.path()), 0);
    QCOMPARE(RunCli({"convert", "bin-fs", "fw.bin"}, cli_dir.path()), 0);
    QCOMPARE(RunCli({"convert", "merge-fs", "pack.afi", "fw.bin"}, cli_dir.path()), 0);
    QCOMPARE(RunCli({"convert", "merge-bin", "pack.afi", "fw.bin"}, cli_dir.path()), 0);
    for (const char* output : {"pack.afi.fs", "fw.bin.fs", "fw.bin.AFIcombined.fs", "fw_new.bin"}) {
      const std::string written = ReadFile(gui_dir.filePath(output));
      QVERIFY2(!written.empty(), output);
      QVERIFY2(written == ReadFile(cli_dir.filePath(output)), output);
    }
  }

  void AuthenticationWithTheRightKeyAWrongKeyAndAChangedKey() {
    auto* window =
        Open<gui::AuthenticationWindow>(gui::MenuCommand::kSha1, ToolKind::kAuthentication);
    QVERIFY(window != nullptr);
    QCOMPARE(window->windowTitle(), QString("SHA1 AUTHENTICATION"));
    const QString default_key = app::kDefaultAuthKeyText;
    const QString new_key = "00112233445566778899aabbccddeeff";
    const QString succeeded = Q(app::messages::kAuthenticationSucceeded);
    QCOMPARE(window->field(AuthField::kAuthenticationKey).text(), default_key);

    const QString challenge = window->field(AuthField::kAuthenticationChallenge).text();
    const auto digest = [&](const QString& key) {
      return Q(app::CalculatorDigest(gui::S(key), gui::S(challenge)).value_or(""));
    };
    // The calculator's digest is the one the authentication expects and the gauge answers; Enter
    // in a field shows it.
    QTest::keyClick(&window->field(AuthField::kCalculatorKey), Qt::Key_Return);
    QTRY_COMPARE(window->field(AuthField::kCalculatorDigest).text(), digest(default_key));

    struct Press {
      AuthField field;  // typed before the button
      QString text;
      gui::AuthButton button;
      QString box;
      QString digest;  // what the authentication section shows afterwards
    };
    const QString failed = Q(app::messages::kAuthenticationFailed);
    const Press presses[] = {
        {AuthField::kAuthenticationKey, default_key, gui::AuthButton::kAuthenticate, succeeded,
         digest(default_key)},
        {AuthField::kAuthenticationKey, QString(32, 'F'), gui::AuthButton::kAuthenticate,
         failed + digest(default_key), digest(QString(32, 'F'))},
        {AuthField::kAuthenticationKey, "0x" + QString(30, '1'), gui::AuthButton::kAuthenticate,
         Q(app::messages::kInvalidKey), digest(QString(32, 'F'))},
        {AuthField::kChangeKey, new_key, gui::AuthButton::kChangeKey,
         Q(app::messages::kKeyChangeSucceeded), digest(QString(32, 'F'))},
        {AuthField::kAuthenticationKey, new_key, gui::AuthButton::kAuthenticate, succeeded,
         digest(new_key)},
        // What the gauge returned shows in the box: the digest of the key it now holds.
        {AuthField::kAuthenticationKey, default_key, gui::AuthButton::kAuthenticate,
         failed + digest(new_key), digest(default_key)},
    };
    for (const Press& press : presses) {
      window->field(press.field).setText(press.text);
      QVERIFY(ClickAndWait(*window, window->button(press.button)));
      QCOMPARE(LastBox(), press.box);
      QTRY_COMPARE(window->field(AuthField::kAuthenticationDigest).text(), press.digest);
    }
    QCOMPARE(window->field(AuthField::kChangeChallenge).text(), QString(40, '0'));
    QCOMPARE(window->field(AuthField::kChangeDigest).text(),
             Q(app::CalculatorDigest(gui::S(new_key), std::string(40, '0')).value_or("")));
  }

  void NewChallengeTwiceWithinASecondDerivesTheSecond() {
    auto* window =
        Open<gui::AuthenticationWindow>(gui::MenuCommand::kSha1, ToolKind::kAuthentication);
    QVERIFY(window != nullptr);
    QLineEdit& challenge = window->field(AuthField::kCalculatorChallenge);
    QPushButton& next = window->button(gui::AuthButton::kNewChallenge);
    const QString start = challenge.text();
    QTest::mouseClick(&next, Qt::LeftButton);
    QTRY_VERIFY(challenge.text() != start);
    const QByteArray first = QByteArray::fromHex(challenge.text().toLatin1());
    QCOMPARE(first.size(), qsizetype{20});
    QCOMPARE(window->field(AuthField::kAuthenticationChallenge).text(), challenge.text());

    QTest::mouseClick(&next, Qt::LeftButton);
    QByteArray derived = first;
    for (qsizetype i = 0; i < derived.size(); ++i) {
      derived[i] = static_cast<char>(RotateLeft5(static_cast<std::uint8_t>(derived[i])) ^
                                     static_cast<std::uint8_t>(derived[0]));
    }
    const QString expected = QString::fromLatin1(derived.toHex().toUpper());
    QTRY_COMPARE(challenge.text(), expected);
    QCOMPARE(window->field(AuthField::kAuthenticationChallenge).text(), expected);
  }
};

std::unique_ptr<QObject> ToolWindowFlows() { return std::make_unique<ToolWindowFlowsTest>(); }

}  // namespace cw::test

#include "tool_windows_test.moc"
