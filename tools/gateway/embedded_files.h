// The files frgate serves as they stand, built into the program from tools/gateway/ (no file is
// read at run time).
#pragma once

#include <string_view>

namespace gateway {

// GET /: the admin page, admin_page.html.
std::string_view adminPage();
// GET /openapi.json: the OpenAPI 3 document of every route, openapi.json.
std::string_view openApiDocument();

}  // namespace gateway
