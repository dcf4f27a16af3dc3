#pragma once

#include <QTimer>

#include "firmware/export_job.h"
#include "firmware/firmware_tool.h"
#include "firmware/update_job.h"
#include "gui/tools/tool_window.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace cw::gui {

class FileField;

// The firmware window: "Firmware Update" (the image to load, Start, the bar with its counter and
// the status label) and "Export Firmware" (the path, Export and its bar). The jobs run on the
// firmware tool's own worker and report through its changes; Load and Export's seal check
// run on the gauge worker. A loaded image shows what tells it from another (size, SHA-256, and
// that the version is the gauge's to tell) before Start. Beside each bar: the time the job has
// taken and, once its pace is known, the time it still needs, as the job's clock in the core
// has them. After a failed update the window keeps the words that say what state the pack is in,
// and offers to run the update again.
class FirmwareToolWindow final : public ToolWindow {
  Q_OBJECT

 public:
  FirmwareToolWindow(firmware::FirmwareTool& tool, ToolWindowSetup setup, QWidget* parent);

  FileField& image() { return *image_; }
  FileField& export_path() { return *export_path_; }
  QPushButton& start() { return *start_; }
  QPushButton& run_again() { return *run_again_; }
  QPushButton& export_button() { return *export_; }
  QLabel& status() { return *status_; }
  QLabel& identity() { return *identity_; }
  QLabel& counter() { return *counter_; }
  QLabel& update_time() { return *update_time_; }
  QLabel& pack_state() { return *pack_state_; }
  QLabel& export_time() { return *export_time_; }
  QProgressBar& update_bar() { return *update_bar_; }
  QProgressBar& export_bar() { return *export_bar_; }

 private:
  QWidget* MakeUpdateGroup();
  QWidget* MakeExportGroup();
  void Load(const QString& path);
  void StartUpdate();
  void StartExport();
  void Refresh() override;
  void ShowBusy(bool busy) override;
  void ShowTimes();

  firmware::FirmwareTool& tool_;
  firmware::UpdateView update_view_;
  firmware::ExportView export_view_;
  QTimer clock_tick_;
  FileField* image_ = nullptr;
  FileField* export_path_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* identity_ = nullptr;
  QProgressBar* update_bar_ = nullptr;
  QLabel* counter_ = nullptr;
  QLabel* update_time_ = nullptr;
  QLabel* pack_state_ = nullptr;
  QPushButton* run_again_ = nullptr;
  QPushButton* start_ = nullptr;
  QProgressBar* export_bar_ = nullptr;
  QLabel* export_time_ = nullptr;
  QPushButton* export_ = nullptr;
};

}  // namespace cw::gui
