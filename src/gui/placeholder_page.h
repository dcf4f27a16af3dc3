#pragma once

#include <QWidget>
#include <string_view>

class QVBoxLayout;

namespace cw::gui {

// A page of the stack whose widgets are still to come: it says so in the middle of the page, so
// nobody takes an empty page for a broken one. The pages that replace it keep their class name
// and their place in the stack.
class PlaceholderPage : public QWidget {
  Q_OBJECT

 public:
  PlaceholderPage(std::string_view page_name, QWidget* parent = nullptr);

 protected:
  QVBoxLayout& layout() { return *layout_; }

 private:
  QVBoxLayout* layout_;
};

// The data flash page (seven tabs of parameter lists).
class DataFlashPage final : public PlaceholderPage {
  Q_OBJECT

 public:
  explicit DataFlashPage(QWidget* parent = nullptr);
};

// The SMB access page ("Pro").
class SmbAccessPage final : public PlaceholderPage {
  Q_OBJECT

 public:
  explicit SmbAccessPage(QWidget* parent = nullptr);
};

}  // namespace cw::gui
