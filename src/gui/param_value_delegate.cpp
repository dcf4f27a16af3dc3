#include "gui/param_value_delegate.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "gui/param_list_model.h"

namespace cw::gui {
namespace {

// Set on an editor closed with Enter: only then is its text handed on.
constexpr char kEntered[] = "entered";

}  // namespace

QWidget* ParamValueDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex&) const {
  auto* editor = new QLineEdit(parent);
  editor->setFont(option.font);
  editor->setFrame(false);
  return editor;
}

void ParamValueDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  auto* line = static_cast<QLineEdit*>(editor);
  line->setText(index.data(Qt::EditRole).toString());
  line->selectAll();
}

void ParamValueDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                      const QModelIndex& index) const {
  // The view also commits an editor when the current row changes; only Enter writes.
  if (!editor->property(kEntered).toBool()) return;
  model->setData(index, static_cast<QLineEdit*>(editor)->text(), Qt::EditRole);
}

bool ParamValueDelegate::eventFilter(QObject* object, QEvent* event) {
  auto* editor = qobject_cast<QLineEdit*>(object);
  if (editor == nullptr) return QStyledItemDelegate::eventFilter(object, event);
  if (event->type() == QEvent::KeyPress) {
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        editor->setProperty(kEntered, true);
        emit commitData(editor);
        emit closeEditor(editor, NoHint);
        return true;
      case Qt::Key_Escape:
        emit closeEditor(editor, RevertModelCache);
        return true;
      case Qt::Key_Tab:
      case Qt::Key_Backtab:
        // Moving on is leaving the editor, not opening the next one.
        emit closeEditor(editor, NoHint);
        return true;
      default:
        return false;
    }
  }
  if (event->type() == QEvent::FocusOut) {
    if (!editor->property(kEntered).toBool()) emit closeEditor(editor, NoHint);
    return false;
  }
  return QStyledItemDelegate::eventFilter(object, event);
}

void ParamValueDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (index.column() == ParamListModel::kValue) {
    if (index.data(ParamListModel::kHeldRole).toBool()) {
      option->backgroundBrush = QColor(kHeldValue);
      option->font.setItalic(true);
    } else if (index.data(ParamListModel::kMarkedRole).toBool()) {
      option->backgroundBrush = QColor(kMarkedValue);
    }
  }
  if (index.column() == ParamListModel::kName &&
      index.data(ParamListModel::kDiffersRole).toBool()) {
    option->backgroundBrush = QColor(kDiffersName);
  }
}

}  // namespace cw::gui
