// The checker the e2e tests trust: each rule it knows must refuse a document that breaks it.
#include "support/json_schema.h"

#include <gtest/gtest.h>

namespace cw::test {
namespace {

using nlohmann::json;

const json kSchema = json::parse(R"({
  "type": "object",
  "required": ["id", "unit", "items"],
  "additionalProperties": false,
  "properties": {
    "id": {"type": "integer"},
    "value": {"type": ["number", "null"]},
    "unit": {"enum": ["mV", "mA"]},
    "items": {"type": "array", "items": {"type": "string"}},
    "failure": {"$ref": "error.json"}
  }
})");

TEST(JsonSchemaTest, RefusesWhatBreaksEachRule) {
  struct Case {
    const char* document;
    const char* complaint;  // part of the one error expected; empty: the document conforms
  };
  const Case cases[] = {
      {R"({"id": 1, "value": 2.5, "unit": "mV", "items": ["a"]})", ""},
      {R"({"id": 1, "value": null, "unit": "mA", "items": []})", ""},
      {R"({"id": 1.5, "unit": "mV", "items": []})", "/id/: 1.5 is not of type \"integer\""},
      {R"({"id": 1, "unit": "mV"})", "\"items\" is missing"},
      {R"({"id": 1, "unit": "mV", "items": [], "extra": 0})", "\"extra\" is not a property"},
      {R"({"id": 1, "unit": "mAh", "items": []})", "is none of"},
      {R"({"id": 1, "unit": "mV", "items": ["a", 2]})", "/items/1/: 2 is not of type"},
      {R"({"id": 1, "unit": "mV", "items": [], "value": "3"})", "/value/: \"3\" is not of type"},
      {R"({"id": 1, "unit": "mV", "items": [], "failure": {"error": {"kind": "oops",
          "message": ""}}})",
       "/failure/error/kind/: \"oops\" is none of"},
      {R"([1])", "is not of type \"object\""},
  };
  JsonSchemaChecker checker(CELLWARDEN_JSON_SCHEMAS);
  for (const Case& c : cases) {
    const auto errors = checker.CheckAgainst(json::parse(c.document), kSchema);
    if (std::string(c.complaint).empty()) {
      EXPECT_TRUE(errors.empty()) << c.document << "\n" << (errors.empty() ? "" : errors[0]);
    } else {
      ASSERT_EQ(errors.size(), 1u) << c.document;
      EXPECT_NE(errors[0].find(c.complaint), std::string::npos) << errors[0];
    }
  }
}

TEST(JsonSchemaTest, ASchemaItCannotCheckIsAnError) {
  JsonSchemaChecker checker(CELLWARDEN_JSON_SCHEMAS);
  EXPECT_FALSE(checker.CheckAgainst(json(5), json::parse(R"({"minimum": 10})")).empty());
  EXPECT_FALSE(checker.Check(json::object(), "no-such-schema.json").empty());
}

}  // namespace
}  // namespace cw::test
