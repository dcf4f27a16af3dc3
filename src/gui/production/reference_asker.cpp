#include "gui/production/reference_asker.h"

#include <fmt/format.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QLineEdit>
#include <QPointer>
#include <functional>

#include "gui/qt_text.h"

namespace cw::gui {
namespace {

using production::AskedReferences;

// One field of the dialog and where its value goes.
struct AskedField {
  QLineEdit* edit;
  std::function<void(AskedReferences&, double)> store;
};

}  // namespace

std::optional<AskedReferences> ReferenceAsker::Ask(const production::CalibrateStep& step,
                                                   const production::LaneView& lane) {
  auto question = std::make_shared<Question>();
  auto answer = question->answer.get_future();
  {
    std::lock_guard lock(mutex_);
    if (closed_) return std::nullopt;
    open_.push_back(question);
  }
  QMetaObject::invokeMethod(
      this,
      [this, step, adapter = lane.adapter_serial, question] {
        ShowDialog(step, adapter, question);
      },
      Qt::QueuedConnection);
  return answer.get();
}

void ReferenceAsker::Answer(const std::shared_ptr<Question>& question,
                            std::optional<AskedReferences> references) {
  std::lock_guard lock(mutex_);
  if (question->answered) return;
  question->answered = true;
  question->answer.set_value(std::move(references));
  std::erase(open_, question);
}

void ReferenceAsker::CancelAll() {
  std::vector<std::shared_ptr<Question>> open;
  {
    std::lock_guard lock(mutex_);
    open = open_;
  }
  for (const auto& question : open) {
    Answer(question, std::nullopt);
    if (question->dialog != nullptr) question->dialog->deleteLater();
  }
}

void ReferenceAsker::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  CancelAll();
}

void ReferenceAsker::ShowDialog(const production::CalibrateStep& step, const std::string& adapter,
                                const std::shared_ptr<Question>& question) {
  {
    std::lock_guard lock(mutex_);
    if (question->answered) return;
  }
  auto* dialog = new QDialog(&window_);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(Q(fmt::format("References for the pack on adapter {}", adapter)));
  auto* form = new QFormLayout(dialog);
  std::vector<AskedField> fields;
  const auto add = [&](std::string label, std::function<void(AskedReferences&, double)> store) {
    auto* edit = new QLineEdit(dialog);
    edit->setValidator(new QDoubleValidator(edit));
    form->addRow(Q(label), edit);
    fields.push_back({edit, std::move(store)});
  };
  AskedReferences base;
  base.cells_mv.assign(step.cells_mv.size(), 0.0);
  for (std::size_t cell = 0; cell < step.cells_mv.size(); ++cell) {
    if (!step.cells_mv[cell].asked()) continue;
    add(fmt::format("Cell {} voltage (mV):", cell + 1),
        [cell](AskedReferences& refs, double value) { refs.cells_mv[cell] = value; });
  }
  if (step.pack_mv && step.pack_mv->asked()) {
    add(std::string("Pack voltage (mV):"),
        [](AskedReferences& refs, double value) { refs.pack_mv = value; });
  }
  if (step.current_ma && step.current_ma->asked()) {
    add(std::string("Current (mA, a discharge is negative):"),
        [](AskedReferences& refs, double value) { refs.current_ma = value; });
  }
  for (std::size_t ts = 0; ts < step.temperatures_c.size(); ++ts) {
    if (!step.temperatures_c[ts] || !step.temperatures_c[ts]->asked()) continue;
    add(fmt::format("TS{} temperature (°C):", ts + 1),
        [ts](AskedReferences& refs, double value) { refs.temperatures_c[ts] = value; });
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  form->addRow(buttons);
  question->dialog = dialog;
  connect(buttons, &QDialogButtonBox::accepted, dialog, [this, dialog, fields, base, question] {
    AskedReferences references = base;
    for (const AskedField& field : fields) {
      bool number = false;
      const double value = QLocale().toDouble(field.edit->text(), &number);
      // An empty or half-typed field keeps the dialog open on it.
      if (!number) {
        field.edit->setFocus();
        return;
      }
      field.store(references, value);
    }
    Answer(question, references);
    dialog->close();
  });
  connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  // Closed any way but OK: no references, the run stops before calibration.
  connect(dialog, &QObject::destroyed, this, [this, question] { Answer(question, std::nullopt); });
  dialog->open();
}

}  // namespace cw::gui
