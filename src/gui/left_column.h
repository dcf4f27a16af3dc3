#pragma once

#include <QWidget>
#include <array>

#include "presentation/charge_gauge.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace cw::gui {

class PageButton;

// The four pages behind the page buttons, in their order.
enum class Page { kSbs = 0, kDataFlash = 1, kCalibration = 2, kSmbAccess = 3 };

// The main window's left column: the adapter id with its Config button, the four page buttons
// and the vertical charge gauge.
class LeftColumn final : public QWidget {
  Q_OBJECT

 public:
  explicit LeftColumn(QWidget* parent = nullptr);

  QLineEdit& adapter_id() { return *adapter_id_; }
  QPushButton& config() { return *config_; }
  PageButton& page_button(Page page) { return *pages_[static_cast<std::size_t>(page)]; }
  void ShowSelected(Page page);
  void ShowCharge(const presentation::ChargeGauge::View& view);
  const QProgressBar& gauge() const { return *gauge_; }
  QString charge_text() const;
  // The gauge's security state, under the charge.
  void ShowSeal(const QString& text);
  QString seal_text() const;

 signals:
  void pageClicked(Page page);

 private:
  QLineEdit* adapter_id_;
  QPushButton* config_;
  std::array<PageButton*, 4> pages_{};
  QProgressBar* gauge_;
  QLabel* percentage_;
  QLabel* seal_;
};

}  // namespace cw::gui
