#pragma once

#include <QStyledItemDelegate>

namespace cw::gui {

// Paints the data flash lists' marks and runs their in-place editor. The editor opens over a
// Value cell with the cell's text selected and takes every character; Enter hands the text on,
// while Escape, Tab, a click elsewhere or another row close it without a word.
class ParamValueDelegate final : public QStyledItemDelegate {
  Q_OBJECT

 public:
  static constexpr QRgb kMarkedValue = 0xFF0000;
  static constexpr QRgb kHeldValue = 0xFFD966;
  static constexpr QRgb kDiffersName = 0x9CC3FF;

  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
  bool eventFilter(QObject* object, QEvent* event) override;
};

}  // namespace cw::gui
