#pragma once

#include <toml++/toml.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "production/recipe.h"

// Reads one TOML table of a recipe key by key, the way a strict reader must: each value of the
// wrong type is a problem at its line, and every key nobody asked for is reported as unknown at
// its line when the reader is done.
namespace cw::production {

int LineOf(const toml::node& node);

class TomlTableReader {
 public:
  // `name` is the table as messages show it: "[steps.serial]".
  TomlTableReader(const toml::table& table, std::string name, RecipeProblems& problems);
  // Reports the keys nobody took.
  ~TomlTableReader();
  TomlTableReader(const TomlTableReader&) = delete;
  TomlTableReader& operator=(const TomlTableReader&) = delete;

  const std::string& name() const { return name_; }
  RecipeProblems* problems() const { return &problems_; }
  int line() const { return LineOf(table_); }
  const toml::table& table() const { return table_; }

  // The node under `key`, taken as known; null when the table lacks it.
  const toml::node* Take(std::string_view key);
  // The same, with a problem when the table lacks it.
  const toml::node* Require(std::string_view key);

  // Typed values. Nothing when the key is missing (a problem only for Require'd ones) or holds
  // the wrong type (always a problem, naming `type_text`).
  std::optional<std::int64_t> Integer(std::string_view key, bool required, std::int64_t minimum,
                                      std::int64_t maximum, std::string_view type_text);
  std::optional<double> Number(std::string_view key, bool required);
  std::optional<std::string> Text(std::string_view key, bool required);
  std::optional<bool> Bool(std::string_view key);
  const toml::table* Table(std::string_view key);
  const toml::array* Array(std::string_view key, std::string_view type_text);

  void Problem(int line, std::string text);
  void WrongType(const toml::node& node, std::string_view key, std::string_view type_text);

 private:
  const toml::table& table_;
  std::string name_;
  RecipeProblems& problems_;
  std::set<std::string, std::less<>> taken_;
};

}  // namespace cw::production
