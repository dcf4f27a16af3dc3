#pragma once

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace cw::test {

// Checks JSON documents against the schema files of docs/json/. It knows the part of JSON Schema
// those files use: "type" (one name or a list), "enum", "properties", "required",
// "additionalProperties": false, "items" and "$ref" to another file of the directory. A schema
// with any other keyword is itself reported, so a schema never passes a document by a keyword
// nobody checks.
class JsonSchemaChecker {
 public:
  explicit JsonSchemaChecker(std::filesystem::path directory) : directory_(std::move(directory)) {}

  // Every way `document` breaks the schema file `name`, each as "<where>: <what>"; empty when it
  // conforms.
  std::vector<std::string> Check(const nlohmann::json& document, const std::string& name);
  // The same against a schema given in place; its "$ref"s name files of the directory.
  std::vector<std::string> CheckAgainst(const nlohmann::json& document,
                                        const nlohmann::json& schema);

 private:
  const nlohmann::json& Load(const std::string& name, std::vector<std::string>& errors);
  void CheckNode(const nlohmann::json& node, const nlohmann::json& schema, const std::string& where,
                 std::vector<std::string>& errors);

  std::filesystem::path directory_;
  std::map<std::string, nlohmann::json> loaded_;
};

}  // namespace cw::test
