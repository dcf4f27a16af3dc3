#include "gui/gauge_tool_app.h"

#include <fmt/format.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>
#include <QStyleFactory>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stop_token>

#include "app/device_string.h"
#include "app/messages.h"
#include "app/product_constants_file.h"
#include "app/program_directory.h"
#include "common/bytes.h"
#include "common/signal_stop.h"
#include "common/version.h"
#include "gui/app_icon.h"
#include "gui/main_window.h"
#include "gui/messages.h"
#include "gui/product_colours.h"
#include "gui/production/production_window.h"
#include "gui/qt_text.h"
#include "gui/run_viewer.h"
#include "gui/sbs_page.h"
#include "gui/tools/tool_launcher.h"

namespace cw::gui {
namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailed = 1;

// Holds back a window's close event while `may_close` says no.
class CloseGuard final : public QObject {
 public:
  explicit CloseGuard(std::function<bool()> may_close) : may_close_(std::move(may_close)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Close || may_close_()) {
      return QObject::eventFilter(watched, event);
    }
    event->ignore();
    return true;
  }

 private:
  std::function<bool()> may_close_;
};

}  // namespace

namespace {

// The command line the desktop program shares with cellwarden-cli's device options.
struct CommandLine {
  QCommandLineParser parser;
  QCommandLineOption device{
      "device",
      Q("Device: auto, hid or bulk (the one adapter of that kind), hid:SERIAL_OR_PATH, "
        "bulk:SERIAL_OR_NODE, sim, or sim:key=value:..."),
      "DEVICE", "auto"};
  QCommandLineOption sim{"sim", Q("Use the simulated pack (short for --device sim).")};
  QCommandLineOption sim_state{
      "sim-state", Q("Keep the simulated pack in FILE (loaded at start, saved at exit)."), "FILE"};
  QCommandLineOption pid{"pid", Q("HID product id of the adapter in hex (default 8888)."), "HEX"};
  QCommandLineOption serial_prefix{
      "serial-prefix", Q("Serial number prefix of the bulk adapter (default 8888)."), "TEXT"};
  QCommandLineOption production{
      "production", Q("Open the Production window alone, full screen, on the recipe RECIPE."),
      "RECIPE"};
  QCommandLineOption view{"view", Q("Open the data logs FILE... (.LOG or CSV) in the data log "
                                    "viewer alone, without an adapter.")};
  // Not Qt's help option: its --help-all lists Qt's own options, which this command line
  // refuses.
  QCommandLineOption help{{"h", "help"}, Q("Displays these options.")};
  QCommandLineOption version = parser.addVersionOption();

  CommandLine() {
    parser.setApplicationDescription(
        Q("Cellwarden Tools: the workbench for the KT580714 fuel gauge. Without a display, use "
          "cellwarden-cli."));
    parser.addOptions({help, device, sim, sim_state, pid, serial_prefix, production, view});
    parser.addPositionalArgument("FILE", Q("With --view: the data logs to open."), "[FILE...]");
  }
};

}  // namespace

std::expected<app::WorkbenchOptions, std::string> WorkbenchOptionsFromArguments(
    const QStringList& arguments) {
  CommandLine line;
  QCommandLineParser& parser = line.parser;
  if (!parser.parse(arguments)) return std::unexpected(S(parser.errorText()));
  if (!parser.positionalArguments().isEmpty()) {
    return std::unexpected(
        fmt::format("Unexpected argument {}: data logs are opened with --view FILE...",
                    S(parser.positionalArguments().join(' '))));
  }
  const auto selection = app::SelectDevice(S(parser.value(line.device)), parser.isSet(line.sim),
                                           S(parser.value(line.sim_state)));
  if (!selection) return std::unexpected(selection.error());
  const auto constants = app::LoadProductConstants(app::ProgramDirectory());
  if (!constants) return std::unexpected(constants.error());
  app::WorkbenchOptions options;
  options.device = *selection;
  options.constants = *constants;
  if (parser.isSet(line.pid)) {
    const auto pid = common::ParseHexNumber(S(parser.value(line.pid)), 0xFFFF);
    if (!pid) {
      return std::unexpected(
          fmt::format("--pid \"{}\" is not a hexadecimal product id", S(parser.value(line.pid))));
    }
    options.hid_product_id = static_cast<std::uint16_t>(*pid);
  }
  if (parser.isSet(line.serial_prefix)) options.serial_prefix = S(parser.value(line.serial_prefix));
  return options;
}

QString ProductionRecipeArgument(const QStringList& arguments) {
  CommandLine line;
  if (!line.parser.parse(arguments)) return {};
  return line.parser.value(line.production);
}

std::optional<QStringList> ViewArguments(const QStringList& arguments) {
  CommandLine line;
  if (!line.parser.parse(arguments) || !line.parser.isSet(line.view)) return std::nullopt;
  return line.parser.positionalArguments();
}

std::optional<std::string> HelpOrVersionText(const QStringList& arguments) {
  CommandLine line;
  // A usage error is for the start to report, with its status.
  if (!line.parser.parse(arguments)) return std::nullopt;
  if (line.parser.isSet(line.help)) return S(line.parser.helpText());
  if (line.parser.isSet(line.version)) {
    return fmt::format("{} {}\n", messages::kProgramName, common::kVersion);
  }
  return std::nullopt;
}

void ApplyProductLook(QApplication& application) {
  application.setStyle(QStyleFactory::create("Fusion"));
  QPalette dialogs = application.palette();
  dialogs.setColor(QPalette::Window, QColor(kProductBackground));
  dialogs.setColor(QPalette::WindowText, Qt::black);
  QApplication::setPalette(dialogs, "QDialog");
  application.setWindowIcon(AppIcon());
}

void WriteExitSettings() {
  QSettings settings(Q(messages::kOrganisation), Q(messages::kSettingsApplication));
  settings.setValue(Q("Settings/Language"), 0);
  settings.sync();
}

std::expected<std::unique_ptr<GaugeToolApp>, std::string> GaugeToolApp::Create(
    app::WorkbenchOptions options) {
  std::unique_ptr<GaugeToolApp> tool(new GaugeToolApp);
  options.progress = &tool->progress_;
  auto bench = app::Workbench::Create(std::move(options), tool->messages_);
  if (!bench) return std::unexpected(bench.error());
  tool->bench_ = std::move(*bench);
  tool->bench_->Start();
  tool->bench_->StartScan();
  tool->window_ =
      std::make_unique<MainWindow>(*tool->bench_, tool->messages_, tool->progress_, tool->worker_);
  GaugeToolApp* app = tool.get();
  tool->close_guard_ = std::make_unique<CloseGuard>([app] { return app->MayClose(); });
  tool->window_->installEventFilter(tool->close_guard_.get());
  QObject::connect(
      &tool->worker_, &GaugeWorker::busyChanged, tool->window_.get(),
      [app](bool busy) {
        if (!busy && app->closing_) app->window_->close();
      },
      Qt::QueuedConnection);
  return tool;
}

bool GaugeToolApp::MayClose() {
  if (closing_) return worker_.idle();
  // A second close while the question is open waits for its answer.
  if (asking_ || !StopAgreed()) return false;
  const bool logging = bench_->sbs().View().logging;
  if (logging) window_->sbs_page().StopLog();
  if (worker_.idle() && !window_->tools().any_open()) return true;
  StartClosing();
  return worker_.idle();
}

bool GaugeToolApp::StopAgreed() {
  const std::vector<app::Work> running = window_->RunningWorks();
  if (running.empty() || quit_without_asking_) return true;
  const app::StopQuestionTexts texts{
      .names = {messages::kWorkDataLog, messages::kWorkFirmwareUpdate, "a firmware export",
                "a Read All", messages::kWorkWriteAll, "an .afi load", "a calibration"},
      .leaves = {std::string_view(), messages::kStoppedUpdateLeaves, std::string_view(),
                 std::string_view(), messages::kStoppedWriteLeaves, messages::kStoppedWriteLeaves,
                 std::string_view()},
      .one = "{} is running.{} Stop it at its next safe point and quit?",
      .several = "{} are running.{} Stop them at their next safe point and quit?",
      .joiner = ", ",
      .last_joiner = " and ",
  };
  asking_ = true;
  const bool quit = messages_.Ask(app::StopQuestion(running, texts), messages::kQuitButton,
                                  messages::kKeepWorkingButton);
  asking_ = false;
  return quit || quit_without_asking_;
}

void GaugeToolApp::StartClosing() {
  closing_ = true;
  window_->ShowStopping();
  messages_.SetClosing();
  // In this order: the stop drops what is queued, and the tools' closing jobs come after it.
  worker_.RequestStop();
  window_->tools().CloseAll();
}

void GaugeToolApp::Quit() {
  quit_without_asking_ = true;
  messages_.AnswerOpenQuestionYes();
  window_->close();
}

GaugeToolApp::~GaugeToolApp() {
  messages_.SetClosing();
  worker_.Stop();
  window_.reset();
  bench_.reset();
}

namespace {

// Qt ends the program when the display named cannot be opened; it says so, with the status of a
// usage error, instead of aborting. Only while the application object is made.
void DisplayFailureHandler(QtMsgType type, const QMessageLogContext&, const QString& text) {
  std::fprintf(stderr, "%s\n", qPrintable(text));
  if (type != QtFatalMsg) return;
  std::fprintf(
      stderr, "%s\n",
      fmt::format(
          "cellwarden cannot open the display: {} Run it on a desktop, or use cellwarden-cli.",
          S(text))
          .c_str());
  std::_Exit(kExitUsage);
}

bool DisplayNamed() {
  return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// `cellwarden --view FILE...`: the data log viewer alone, without an adapter.
int RunViewerAlone(QApplication& application, const QStringList& files, std::stop_token stop) {
  RunViewer viewer;
  viewer.show();
  viewer.Open(files);
  const std::stop_callback close_on_signal(stop, [&viewer] {
    QMetaObject::invokeMethod(&viewer, &QWidget::close, Qt::QueuedConnection);
  });
  return application.exec();
}

}  // namespace

int RunGaugeTool(int argc, char** argv) {
  // SIGTERM, SIGINT and SIGHUP (a logout, a kill, Ctrl-C, a closed terminal) close the window as
  // its close box does, but without asking (nobody may be there to answer): running work stops at
  // its safe point and the simulated pack's state is saved. First: it blocks the signals for every
  // thread started after it.
  common::SignalStop stop_signals;
  stop_signals.Honour();
  // The command line is answered before any display is needed (a package check, ssh).
  std::expected<app::WorkbenchOptions, std::string> options;
  QString production_recipe;
  std::optional<QStringList> view_files;
  {
    QCoreApplication probe(argc, argv);
    probe.setApplicationName(Q(messages::kProgramName));
    probe.setApplicationVersion(Q(common::kVersion));
    if (const auto text = HelpOrVersionText(probe.arguments())) {
      std::fputs(text->c_str(), stdout);
      return 0;
    }
    view_files = ViewArguments(probe.arguments());
    if (!view_files) {
      options = WorkbenchOptionsFromArguments(probe.arguments());
      production_recipe = ProductionRecipeArgument(probe.arguments());
    }
  }
  if (!view_files && !options) {
    std::fprintf(stderr, "%s\n", options.error().c_str());
    return kExitUsage;
  }
  if (!DisplayNamed()) {
    std::fprintf(stderr, "%s\n",
                 std::string("cellwarden needs a display and none is set (DISPLAY and "
                             "WAYLAND_DISPLAY are empty). Run it "
                             "on a desktop, or use cellwarden-cli on this machine.")
                     .c_str());
    return kExitUsage;
  }
  const QtMessageHandler previous = qInstallMessageHandler(DisplayFailureHandler);
  QApplication application(argc, argv);
  qInstallMessageHandler(previous);
  application.setApplicationName(Q(messages::kProgramName));
  application.setDesktopFileName(Q(messages::kProgramName));
  ApplyProductLook(application);
  if (view_files) return RunViewerAlone(application, *view_files, stop_signals.token());
  auto tool = GaugeToolApp::Create(std::move(*options));
  if (!tool) {
    const std::string text = fmt::format("Cellwarden cannot start: {}", tool.error());
    std::fprintf(stderr, "%s\n", text.c_str());
    QMessageBox::critical(nullptr, Q(app::messages::kWindowTitle), Q(text));
    return kExitFailed;
  }
  if (production_recipe.isEmpty()) {
    (*tool)->window().show();
  } else {
    OpenProductionAlone((*tool)->window(), production_recipe);
  }
  int status = 0;
  {
    // A signal that came while the window was being built closes it as soon as the loop runs.
    const std::stop_callback close_on_signal(stop_signals.token(), [app = tool->get()] {
      QMetaObject::invokeMethod(
          &app->window(), [app] { app->Quit(); }, Qt::QueuedConnection);
    });
    status = application.exec();
  }
  // The simulated pack's changes are kept only if its state file could be written.
  if (const auto saved = (*tool)->bench().SaveSimState(); !saved) {
    std::fprintf(stderr, "%s\n", saved.error().c_str());
    QMessageBox::critical(nullptr, Q(app::messages::kWindowTitle), Q(saved.error()));
    status = kExitFailed;
  }
  tool->reset();
  WriteExitSettings();
  return status;
}

}  // namespace cw::gui
