#include "gui/production/production_header.h"

#include <fmt/format.h>

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/messages.h"
#include "gui/product_settings.h"
#include "gui/qt_text.h"
#include "gui/tools/file_choice.h"

namespace cw::gui {
namespace {

constexpr char kRecipeKey[] = "Production/Recipe";
constexpr char kOperatorKey[] = "Production/Operator";
constexpr char kStationKey[] = "Production/Station";
constexpr char kRecordsKey[] = "Production/Records";
constexpr QRgb kProblemText = 0xB00000;
constexpr QRgb kPassedText = 0x1E7D32;

constexpr FileDialogRequest kRecipeDialog{"Choose a Production Recipe",
                                          "Recipes (*.toml);;All files (*)"};
constexpr FileDialogRequest kRecordsDialog{"Choose the Records File",
                                           "Records (*.sqlite);;All files (*)", true};

void Colour(QLabel& label, QRgb colour) {
  QPalette palette = label.palette();
  palette.setColor(QPalette::WindowText, QColor(colour));
  label.setPalette(palette);
}

}  // namespace

ProductionHeader::ProductionHeader(QWidget* parent) : QWidget(parent) {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel(Q("Recipe:"), this), 0, 0);
  recipe_path_ = new QLineEdit(this);
  recipe_path_->setReadOnly(true);
  recipe_path_->setFocusPolicy(Qt::NoFocus);
  layout->addWidget(recipe_path_, 0, 1, 1, 3);
  recipe_button_ = new QPushButton(Q("Choose..."), this);
  recipe_button_->setFocusPolicy(Qt::NoFocus);
  layout->addWidget(recipe_button_, 0, 4);
  recipe_name_ = new QLabel(this);
  recipe_name_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(recipe_name_, 1, 1, 1, 4);
  recipe_check_ = new QLabel(this);
  recipe_check_->setWordWrap(true);
  layout->addWidget(recipe_check_, 2, 1, 1, 4);

  operator_ = AddField(kOperatorKey, "Operator:", 3);
  station_ = AddField(kStationKey, "Station:", 4);
  records_ = AddField(kRecordsKey, "Records:", 5);
  records_button_ = new QPushButton(Q("Choose..."), this);
  records_button_->setFocusPolicy(Qt::NoFocus);
  layout->addWidget(records_button_, 5, 4);
  layout->setColumnStretch(1, 1);

  connect(recipe_button_, &QPushButton::clicked, this, [this] {
    const QString path = ChooseFile(this, kRecipeDialog);
    if (!path.isEmpty()) emit recipeChosen(path);
  });
  connect(records_button_, &QPushButton::clicked, this, [this] {
    const QString path = ChooseFile(this, kRecordsDialog);
    if (path.isEmpty()) return;
    records_->setText(path);
    emit records_->editingFinished();
  });
  ShowRecipe({}, nullptr, {});
}

QLineEdit* ProductionHeader::AddField(const char* key, std::string_view label, int row) {
  auto* layout = static_cast<QGridLayout*>(this->layout());
  layout->addWidget(new QLabel(Q(label), this), row, 0);
  auto* field = new QLineEdit(ProductSettings().value(key).toString(), this);
  layout->addWidget(field, row, 1, 1, 3);
  // Set once per change, not per key: the station is made again with it.
  connect(field, &QLineEdit::editingFinished, this, [this, field, key] {
    const QString text = field->text().trimmed();
    QSettings settings = ProductSettings();
    if (settings.value(key).toString() == text) return;
    settings.setValue(key, text);
    emit setupChanged();
  });
  return field;
}

QString ProductionHeader::RememberedRecipe() const {
  return ProductSettings().value(kRecipeKey).toString();
}

void ProductionHeader::RememberRecipe(const QString& path) {
  ProductSettings().setValue(kRecipeKey, path);
}

void ProductionHeader::ShowRecipeReading(const QString& path) {
  recipe_path_->setText(path);
  recipe_name_->clear();
  recipe_check_->setText(Q("Reading the recipe and checking its files..."));
  Colour(*recipe_check_, 0x000000);
}

void ProductionHeader::ShowRecipe(const QString& path, const production::Recipe* recipe,
                                  const production::RecipeProblems& problems) {
  recipe_path_->setText(path);
  recipe_name_->setText(recipe == nullptr
                            ? QString()
                            : Q(fmt::format("{}   SHA-256 {}", recipe->name, recipe->sha256)));
  if (path.isEmpty()) {
    recipe_check_->setText(Q("No recipe chosen: choose the recipe of this line."));
    Colour(*recipe_check_, kProblemText);
    return;
  }
  if (problems.empty()) {
    recipe_check_->setText(Q(messages::kRecipeChecked));
    Colour(*recipe_check_, kPassedText);
    return;
  }
  QStringList lines{Q(messages::kRecipeFailed)};
  for (const production::RecipeProblem& problem : problems) {
    lines << (problem.line > 0 ? Q(fmt::format("line {}: {}", problem.line, problem.text))
                               : Q(problem.text));
  }
  recipe_check_->setText(lines.join('\n'));
  Colour(*recipe_check_, kProblemText);
}

void ProductionHeader::ShowDefaultRecords(const std::optional<std::string>& path) {
  records_->setPlaceholderText(path ? Q(fmt::format("default: {}", *path))
                                    : Q(messages::kRecordsNoDefault));
}

void ProductionHeader::SetEditable(bool editable) {
  recipe_button_->setEnabled(editable);
  records_button_->setEnabled(editable);
  for (QLineEdit* field : {operator_, station_, records_}) field->setReadOnly(!editable);
}

std::string ProductionHeader::operator_name() const { return S(operator_->text().trimmed()); }
std::string ProductionHeader::station_id() const { return S(station_->text().trimmed()); }
std::string ProductionHeader::records() const { return S(records_->text().trimmed()); }

}  // namespace cw::gui
