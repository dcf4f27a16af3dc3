#include "support/json_schema.h"

#include <algorithm>
#include <fstream>
#include <set>

namespace cw::test {
namespace {

using nlohmann::json;

const std::set<std::string>& KnownKeywords() {
  static const std::set<std::string> known = {"$schema",     "$id",      "title",
                                              "description", "type",     "enum",
                                              "properties",  "required", "additionalProperties",
                                              "items",       "$ref"};
  return known;
}

bool HasType(const json& node, const std::string& type) {
  if (type == "null") return node.is_null();
  if (type == "boolean") return node.is_boolean();
  if (type == "integer") return node.is_number_integer();
  if (type == "number") return node.is_number();
  if (type == "string") return node.is_string();
  if (type == "array") return node.is_array();
  if (type == "object") return node.is_object();
  return false;
}

}  // namespace

std::vector<std::string> JsonSchemaChecker::Check(const json& document, const std::string& name) {
  std::vector<std::string> errors;
  const json& schema = Load(name, errors);
  if (errors.empty()) CheckNode(document, schema, "/", errors);
  return errors;
}

std::vector<std::string> JsonSchemaChecker::CheckAgainst(const json& document, const json& schema) {
  std::vector<std::string> errors;
  CheckNode(document, schema, "/", errors);
  return errors;
}

const json& JsonSchemaChecker::Load(const std::string& name, std::vector<std::string>& errors) {
  const auto found = loaded_.find(name);
  if (found != loaded_.end()) return found->second;
  std::ifstream file(directory_ / name);
  json schema = json::parse(file, nullptr, false);
  if (!file || schema.is_discarded()) {
    errors.push_back((directory_ / name).string() + ": no schema could be read");
  }
  return loaded_[name] = std::move(schema);
}

void JsonSchemaChecker::CheckNode(const json& node, const json& schema, const std::string& where,
                                  std::vector<std::string>& errors) {
  if (!schema.is_object()) {
    errors.push_back(where + ": the schema is no object");
    return;
  }
  for (const auto& [keyword, value] : schema.items()) {
    if (!KnownKeywords().contains(keyword)) {
      errors.push_back(where + ": the schema uses \"" + keyword + "\", which is not checked");
    }
  }
  if (schema.contains("$ref")) {
    const json& target = Load(schema["$ref"].get<std::string>(), errors);
    if (!target.is_discarded()) CheckNode(node, target, where, errors);
  }
  if (schema.contains("type")) {
    const json& type = schema["type"];
    const std::vector<std::string> types = type.is_array() ? type.get<std::vector<std::string>>()
                                                           : std::vector{type.get<std::string>()};
    if (std::ranges::none_of(types, [&](const std::string& t) { return HasType(node, t); })) {
      errors.push_back(where + ": " + node.dump() + " is not of type " + type.dump());
      return;
    }
  }
  const json* allowed = schema.contains("enum") ? &schema["enum"] : nullptr;
  if (allowed && std::find(allowed->begin(), allowed->end(), node) == allowed->end()) {
    errors.push_back(where + ": " + node.dump() + " is none of " + allowed->dump());
  }
  if (node.is_object()) {
    const json no_properties = json::object();
    const json& properties = schema.contains("properties") ? schema["properties"] : no_properties;
    for (const auto& name : schema.value("required", json::array())) {
      if (!node.contains(name.get<std::string>())) {
        errors.push_back(where + ": \"" + name.get<std::string>() + "\" is missing");
      }
    }
    const bool closed = schema.value("additionalProperties", true) == false;
    for (const auto& [name, value] : node.items()) {
      if (properties.contains(name)) {
        CheckNode(value, properties[name], where + name + "/", errors);
      } else if (closed) {
        errors.push_back(where + ": \"" + name + "\" is not a property the schema allows");
      }
    }
  }
  if (node.is_array() && schema.contains("items")) {
    for (std::size_t i = 0; i < node.size(); ++i) {
      CheckNode(node[i], schema["items"], where + std::to_string(i) + "/", errors);
    }
  }
}

}  // namespace cw::test
