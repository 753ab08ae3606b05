// The OpenAPI document frgate serves: a valid OpenAPI 3 document whose operations are exactly the
// routes the gateway sets, each described with its answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "tools/gateway/embedded_files.h"
#include "tools/gateway/gateway.h"

namespace {

using nlohmann::json;

constexpr const char* kMethods[] = {"get", "put", "post", "delete", "options", "head", "patch", "trace"};

// Every "$ref" below `node`, as JSON pointers into the document.
void collectReferences(const json& node, std::set<std::string>& references) {
  if (node.is_object()) {
    if (const auto ref = node.find("$ref"); ref != node.end() && ref->is_string()) references.insert(*ref);
    for (const auto& [key, value] : node.items()) collectReferences(value, references);
  } else if (node.is_array()) {
    for (const json& value : node) collectReferences(value, references);
  }
}

// A response as written or as its reference names it.
const json& resolved(const json& document, const json& node) {
  if (!node.contains("$ref")) return node;
  return document.at(json::json_pointer(node["$ref"].get<std::string>().substr(1)));
}

TEST(OpenApi, AValidDocumentOfExactlyTheGatewaysRoutes) {
  const json document = json::parse(gateway::openApiDocument(), nullptr, false);
  ASSERT_FALSE(document.is_discarded()) << "the document parses as JSON";
  ASSERT_TRUE(document["openapi"].is_string());
  EXPECT_TRUE(document["openapi"].get<std::string>().starts_with("3.0."));
  EXPECT_TRUE(document["info"]["title"].is_string());
  EXPECT_TRUE(document["info"]["version"].is_string());

  std::set<std::string> references;
  collectReferences(document, references);
  for (const std::string& reference : references) {
    ASSERT_TRUE(reference.starts_with("#/")) << reference;
    EXPECT_TRUE(document.contains(json::json_pointer(reference.substr(1)))) << "unresolved " << reference;
  }

  std::set<std::pair<std::string, std::string>> described;
  for (const auto& [path, item] : document["paths"].items()) {
    for (const char* method : kMethods) {
      if (!item.contains(method)) continue;
      const json& operation = item[method];
      std::string upper = method;
      std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
      described.insert({upper, path});
      const std::string where = upper + " " + path;
      ASSERT_TRUE(operation["responses"].is_object() && !operation["responses"].empty()) << where;
      bool success = false;
      for (const auto& [status, response] : operation["responses"].items()) {
        success = success || status.starts_with("2");
        EXPECT_TRUE(resolved(document, response).contains("description")) << where << " " << status;
      }
      EXPECT_TRUE(success) << where << " answers success";
      // A templated path declares its parameter, in the path, required.
      if (path.find("{n}") != std::string::npos) {
        json parameters = item.value("parameters", json::array());
        for (const json& parameter : operation.value("parameters", json::array())) parameters.push_back(parameter);
        EXPECT_TRUE(std::any_of(parameters.begin(), parameters.end(), [&](const json& parameter) {
          const json& p = resolved(document, parameter);
          return p.value("name", "") == "n" && p.value("in", "") == "path" && p.value("required", false);
        })) << where;
      }
    }
  }
  std::set<std::pair<std::string, std::string>> routes;
  for (const gateway::Route& route : gateway::Gateway::routes()) routes.insert({route.method, route.path});
  EXPECT_EQ(described, routes) << "the document names every route the gateway sets, and no other";

  for (const char* open : {"/", "/openapi.json"}) {
    EXPECT_EQ(document["paths"][open]["get"]["security"], json::array()) << open << " needs no token";
  }
}

}  // namespace
