#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "production/recipe.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace cw::gui {

// What the line is set up with, at the top of the Production window: the recipe (its name, its
// SHA-256 and the result of its file check, or why it cannot be started), the operator's name,
// the station's id and the records file. Each is remembered for the next run of the program.
class ProductionHeader final : public QWidget {
  Q_OBJECT

 public:
  explicit ProductionHeader(QWidget* parent = nullptr);

  // What was remembered from the last run; empty when nothing was.
  QString RememberedRecipe() const;
  void RememberRecipe(const QString& path);

  // The recipe being read; then what reading and checking it found.
  void ShowRecipeReading(const QString& path);
  void ShowRecipe(const QString& path, const production::Recipe* recipe,
                  const production::RecipeProblems& problems);
  // The records file used when the field is empty; nothing without a data folder.
  void ShowDefaultRecords(const std::optional<std::string>& path);
  // While packs run the set-up stays as it is.
  void SetEditable(bool editable);

  std::string operator_name() const;
  std::string station_id() const;
  // The records field: empty for the default file.
  std::string records() const;

  QLineEdit& recipe_path() { return *recipe_path_; }
  QPushButton& recipe_button() { return *recipe_button_; }
  QLabel& recipe_name() { return *recipe_name_; }
  QLabel& recipe_check() { return *recipe_check_; }
  QLineEdit& operator_field() { return *operator_; }
  QLineEdit& station_field() { return *station_; }
  QLineEdit& records_field() { return *records_; }

 signals:
  void recipeChosen(const QString& path);
  // The operator, the station or the records file changed (and were remembered).
  void setupChanged();

 private:
  QLineEdit* AddField(const char* key, std::string_view label, int row);

  QLineEdit* recipe_path_;
  QPushButton* recipe_button_;
  QLabel* recipe_name_;
  QLabel* recipe_check_;
  QLineEdit* operator_;
  QLineEdit* station_;
  QLineEdit* records_;
  QPushButton* records_button_;
};

}  // namespace cw::gui
