#include "production/toml_table_reader.h"

#include <fmt/format.h>

#include <cmath>

#include "production/messages.h"

namespace cw::production {

int LineOf(const toml::node& node) { return static_cast<int>(node.source().begin.line); }

TomlTableReader::TomlTableReader(const toml::table& table, std::string name,
                                 RecipeProblems& problems)
    : table_(table), name_(std::move(name)), problems_(problems) {}

TomlTableReader::~TomlTableReader() {
  for (const auto& [key, node] : table_) {
    if (taken_.contains(key.str())) continue;
    problems_.push_back({static_cast<int>(key.source().begin.line),
                         fmt::format("unknown key \"{}\" in {}", key.str(), name_)});
  }
}

const toml::node* TomlTableReader::Take(std::string_view key) {
  taken_.emplace(key);
  return table_.get(key);
}

const toml::node* TomlTableReader::Require(std::string_view key) {
  const toml::node* node = Take(key);
  if (node == nullptr) Problem(line(), fmt::format("{} needs \"{}\"", name_, key));
  return node;
}

void TomlTableReader::Problem(int line, std::string text) {
  problems_.push_back({line, std::move(text)});
}

void TomlTableReader::WrongType(const toml::node& node, std::string_view key,
                                std::string_view type_text) {
  Problem(LineOf(node), fmt::format(messages::kWrongType, key, name_, type_text));
}

std::optional<std::int64_t> TomlTableReader::Integer(std::string_view key, bool required,
                                                     std::int64_t minimum, std::int64_t maximum,
                                                     std::string_view type_text) {
  const toml::node* node = required ? Require(key) : Take(key);
  if (node == nullptr) return std::nullopt;
  const auto value = node->value_exact<std::int64_t>();
  if (!value || *value < minimum || *value > maximum) {
    WrongType(*node, key, type_text);
    return std::nullopt;
  }
  return value;
}

std::optional<double> TomlTableReader::Number(std::string_view key, bool required) {
  const toml::node* node = required ? Require(key) : Take(key);
  if (node == nullptr) return std::nullopt;
  if (node->is_integer()) return static_cast<double>(node->as_integer()->get());
  if (node->is_floating_point() && std::isfinite(node->as_floating_point()->get())) {
    return node->as_floating_point()->get();
  }
  WrongType(*node, key, "a number");
  return std::nullopt;
}

std::optional<std::string> TomlTableReader::Text(std::string_view key, bool required) {
  const toml::node* node = required ? Require(key) : Take(key);
  if (node == nullptr) return std::nullopt;
  if (!node->is_string()) {
    WrongType(*node, key, messages::kTypeText);
    return std::nullopt;
  }
  return node->as_string()->get();
}

std::optional<bool> TomlTableReader::Bool(std::string_view key) {
  const toml::node* node = Take(key);
  if (node == nullptr) return std::nullopt;
  if (!node->is_boolean()) {
    WrongType(*node, key, "true or false");
    return std::nullopt;
  }
  return node->as_boolean()->get();
}

const toml::table* TomlTableReader::Table(std::string_view key) {
  const toml::node* node = Take(key);
  if (node == nullptr) return nullptr;
  if (!node->is_table()) {
    WrongType(*node, key, messages::kTypeTable);
    return nullptr;
  }
  return node->as_table();
}

const toml::array* TomlTableReader::Array(std::string_view key, std::string_view type_text) {
  const toml::node* node = Take(key);
  if (node == nullptr) return nullptr;
  if (!node->is_array()) {
    WrongType(*node, key, type_text);
    return nullptr;
  }
  return node->as_array();
}

}  // namespace cw::production
