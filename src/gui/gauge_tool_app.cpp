#include "gui/gauge_tool_app.h"

#include <fmt/format.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>
#include <QStyleFactory>
#include <cstdio>
#include <functional>

#include "app/device_string.h"
#include "app/messages.h"
#include "app/product_constants_file.h"
#include "app/program_directory.h"
#include "gui/app_icon.h"
#include "gui/main_window.h"
#include "gui/messages.h"
#include "gui/product_colours.h"
#include "gui/qt_text.h"
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

std::expected<app::WorkbenchOptions, std::string> WorkbenchOptionsFromArguments(
    const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption device("device", Q(messages::kDeviceOption), "DEVICE", "auto");
  const QCommandLineOption sim("sim", Q(messages::kSimOption));
  const QCommandLineOption sim_state("sim-state", Q(messages::kSimStateOption), "FILE");
  parser.addOptions({device, sim, sim_state});
  if (!parser.parse(arguments)) return std::unexpected(S(parser.errorText()));
  const auto selection =
      app::SelectDevice(S(parser.value(device)), parser.isSet(sim), S(parser.value(sim_state)));
  if (!selection) return std::unexpected(selection.error());
  const auto constants = app::LoadProductConstants(app::ProgramDirectory());
  if (!constants) return std::unexpected(constants.error());
  app::WorkbenchOptions options;
  options.device = *selection;
  options.constants = *constants;
  return options;
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
  settings.setValue(Q(messages::kLanguageKey), 0);
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
  if (!closing_) {
    if (worker_.idle() && !window_->tools().any_open()) return true;
    closing_ = true;
    messages_.SetClosing();
    // In this order: the stop drops what is queued, and the tools' closing jobs come after it.
    worker_.RequestStop();
    window_->tools().CloseAll();
  }
  return worker_.idle();
}

GaugeToolApp::~GaugeToolApp() {
  messages_.SetClosing();
  worker_.Stop();
  window_.reset();
  bench_.reset();
}

int RunGaugeTool(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setApplicationName(Q(messages::kProgramName));
  application.setDesktopFileName(Q(messages::kProgramName));
  ApplyProductLook(application);
  auto options = WorkbenchOptionsFromArguments(application.arguments());
  if (!options) {
    std::fprintf(stderr, "%s\n", options.error().c_str());
    return kExitUsage;
  }
  auto tool = GaugeToolApp::Create(std::move(*options));
  if (!tool) {
    const std::string text = fmt::format(fmt::runtime(messages::kStartFailed), tool.error());
    std::fprintf(stderr, "%s\n", text.c_str());
    QMessageBox::critical(nullptr, Q(app::messages::kWindowTitle), Q(text));
    return kExitFailed;
  }
  (*tool)->window().show();
  int status = application.exec();
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
