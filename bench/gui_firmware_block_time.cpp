// The longest time the GUI thread is kept from its events while the firmware window updates the
// simulated pack on the virtual clock (see gui_block_probe.h for how the gaps are measured): the
// window as the user opens it from the Tools menu, the image loaded, then Start, and again each
// time an update ends, until at least 5 s of real time have passed, so that the bar, the counter
// and the times redraw often enough to be measured. The message box at the end of each update is
// answered as soon as it shows.
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include "common/file_output.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_tool.h"
#include "firmware/update_job.h"
#include "gui/tools/file_field.h"
#include "gui/tools/firmware_tool_window.h"
#include "gui/tools/tool_launcher.h"
#include "gui_block_probe.h"

int main(int argc, char** argv) {
  using namespace cw;
  bench::GuiBench run(argc, argv);
  if (!run.ready()) return 1;
  gui::MainWindow& window = run.window();
  app::Workbench& workbench = run.tool().bench();

  // An image of every code and data byte, written where the window loads it from.
  auto code = std::make_unique<firmware::CodeImage>();
  firmware::DataAreaImage data{};
  for (std::size_t i = 0; i < code->size(); ++i) (*code)[i] = static_cast<std::uint8_t>(i * 7);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 3);
  QTemporaryDir folder;
  const std::string image = folder.filePath("image.bin").toStdString();
  if (!common::WriteFileAtomically(
          image, firmware::BuildFirmwareImage(*code, data, workbench.constants()))) {
    std::fprintf(stderr, "cannot write %s\n", image.c_str());
    return 1;
  }

  window.action(gui::MenuCommand::kFirmwareUpdate).trigger();
  gui::FirmwareToolWindow* firmware = nullptr;
  while (firmware == nullptr) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    firmware =
        qobject_cast<gui::FirmwareToolWindow*>(window.tools().window(gui::ToolKind::kFirmware));
  }
  emit firmware->image().chosen(QString::fromStdString(image));
  bench::Settle(500);

  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
  });
  answer.start(10);

  constexpr qint64 kRealSpanNs = 5'000'000'000;
  int updates = 0;
  int failed = 0;
  bool running = false;
  const bench::GuiBlocks blocks = bench::Measure(run.application(), [&](qint64 real_ns) {
    if (running) {
      const auto view = workbench.firmware_tool()->update().View();
      if (view.busy) return false;
      running = false;
      ++(view.outcome && view.outcome->done() ? updates : failed);
    }
    // The next Start as the user gives it: once the window shows the last update ended.
    if (real_ns < kRealSpanNs && firmware->start().isEnabled()) {
      firmware->start().click();
      running = true;
    }
    return !running && real_ns >= kRealSpanNs;
  });

  std::printf("GUI thread, firmware updates of %d records each in the firmware window\n",
              static_cast<int>(firmware::kImageRecordCount));
  std::printf("  updates                   %d (%d failed)\n", updates, failed);
  bench::PrintBlocks(blocks, run.application());
  return 0;
}
