#pragma once

#include <QGroupBox>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

#include "gui/production/report_dialog.h"
#include "production/records.h"
#include "production/records_store.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace cw::gui {

class GaugeWorker;

// The last runs of the records store below the tiles: the latest 50 of the result chosen, the
// CSV export of every run of that result (the same CSV as `records export --csv`), the report of
// a run's pack (the page of `records report --html`), and the shift's first-pass yield and most
// frequent failures. The store is read and files written on the window's worker, never on the
// GUI thread.
class RecordsPanel final : public QGroupBox {
  Q_OBJECT

 public:
  static constexpr std::size_t kShownRuns = 50;
  // Reads follow each other at least this far apart: on a fast line runs end many times a
  // second, and a table redrawn for each would take the GUI thread's time.
  static constexpr int kReloadSpacingMs = 500;

  RecordsPanel(GaugeWorker& worker, QWidget* parent = nullptr);

  // The store the station `station` writes to; null while there is none. The shift begins.
  void SetStore(std::shared_ptr<production::RecordsStore> store, std::string station);
  // Reads the runs again: at once, or when the read under way ends and the spacing has passed.
  void Reload();
  // The result the table shows; nothing: every result.
  void SetResultFilter(std::optional<production::RunResult> result);
  // Writes the runs of the filter chosen to `path` as CSV.
  void ExportCsv(const QString& path);
  // Reads the report of the pack of run `run` and shows it.
  void OpenReport(std::int64_t run);

  QTableWidget& table() { return *table_; }
  QComboBox& filter() { return *filter_; }
  QPushButton& export_button() { return *export_; }
  QPushButton& report_button() { return *report_; }
  // The shift's first-pass yield and its three most frequent failures, since SetStore.
  QLabel& shift() { return *shift_; }
  // The report last opened, while it is open.
  ReportDialog* report() const { return report_dialog_; }
  // What the last read or export said when it went wrong, or what it wrote.
  QLabel& note() { return *note_; }
  // Reads and exports asked and not yet answered.
  int pending() const { return pending_; }

 private:
  void Read();
  void ShowRuns(const std::vector<production::RunRecord>& runs);
  std::optional<std::int64_t> SelectedRun() const;
  std::optional<production::RunResult> ChosenResult() const;

  GaugeWorker& worker_;
  std::shared_ptr<production::RecordsStore> store_;
  std::string station_;
  production::TimePoint shift_start_{};
  QComboBox* filter_;
  QPushButton* export_;
  QPushButton* report_;
  QLabel* shift_;
  QPointer<ReportDialog> report_dialog_;
  QTableWidget* table_;
  QLabel* note_;
  int pending_ = 0;
  bool reading_ = false;
  bool read_again_ = false;
  QTimer spacing_;
};

}  // namespace cw::gui
