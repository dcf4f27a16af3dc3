#pragma once

#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/running_work.h"
#include "app/workbench.h"
#include "dataflash/data_flash_session.h"
#include "gui/change_relay.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;

namespace cw::gui {

class FlashTip;
class GaugeWorker;
class ParamListModel;

// The data flash page: seven tabs of three parameter lists, Read All and Write All, the in-place
// editor, the bit views of the flag registers, the filter box, the comparison with an .afi and
// edits held for Write All. It draws dataflash::DataFlashSession's View() and forwards every
// click to the session; transfers and edits run on the worker while the lists and the status bar
// keep moving.
class DataFlashPage final : public QWidget {
  Q_OBJECT

 public:
  DataFlashPage(app::Workbench& bench, GaugeWorker& worker, QWidget* parent = nullptr);
  ~DataFlashPage() override;

  // Compares the lists with an .afi or an image's constants, as "Compare with File..." does
  // once a file is chosen.
  void CompareWith(const std::filesystem::path& path);

  QPushButton& read_all() { return *read_all_; }
  QPushButton& write_all() { return *write_all_; }
  QTabWidget& tabs() { return *tabs_; }
  QTableView& list(std::size_t list) { return *lists_[list]; }
  ParamListModel& model(std::size_t list) { return *models_[list]; }
  FlashTip& bit_view() { return *bit_view_; }
  QLabel& bit_caption() { return *bit_caption_; }
  QPushButton& write_bits() { return *write_bits_; }
  QPushButton& revert_bits() { return *revert_bits_; }
  QLineEdit& filter() { return *filter_; }
  QPushButton& compare() { return *compare_; }
  QPushButton& clear_compare() { return *clear_compare_; }
  QCheckBox& hold() { return *hold_; }
  QPushButton& undo() { return *undo_; }
  QLabel& note() { return *note_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* object, QEvent* event) override;

 private:
  QTableView* MakeList(std::size_t list);
  QWidget* MakeBitViewRow();
  QWidget* MakeLegend();
  void OnCellClicked(std::size_t list, const QModelIndex& index);
  void OnValueEdited(std::size_t row, const QString& text);
  void OnFilter(const QString& text);
  void OnCompare();
  void OnClearCompare();
  void OnWriteBits();
  // Read All or Write All on the worker; a stop request ends it between two pages.
  void RunTransfer(app::Work work, std::function<common::Outcome()> job);
  void ShowState();
  void ShowBitView();

  dataflash::DataFlashSession& session_;
  GaugeWorker& worker_;
  // Every parameter's default, for the Value cells' tooltips.
  const std::vector<std::string> defaults_;
  // What the session held when the page was last drawn.
  dataflash::DataFlashView view_;
  std::array<ParamListModel*, dataflash::kListCount> models_{};
  std::array<QTableView*, dataflash::kListCount> lists_{};
  QPushButton* read_all_ = nullptr;
  QPushButton* write_all_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  FlashTip* bit_view_ = nullptr;
  QLabel* bit_caption_ = nullptr;
  QPushButton* write_bits_ = nullptr;
  QPushButton* revert_bits_ = nullptr;
  QLineEdit* filter_ = nullptr;
  QPushButton* compare_ = nullptr;
  QPushButton* clear_compare_ = nullptr;
  QCheckBox* hold_ = nullptr;
  QPushButton* undo_ = nullptr;
  QLabel* note_ = nullptr;
  int jobs_ = 0;
  ChangeRelay relay_;
};

}  // namespace cw::gui
