// The admin page as a person uses it, in headless Chromium against frgate on a simulated board:
// the token typed in, the status shown and refreshed, the buttons' documents and reports made
// on the register, the request list and the board's paper. And the paper's route on its own.
#include <gtest/gtest.h>

#include <fstream>

#include "tools/gateway/chromium_page_testing.h"
#include "tools/gateway/gateway_testing.h"

namespace {

using gateway::testing::bodyOf;
using gateway::testing::ChromiumPage;
using nlohmann::json;

constexpr const char* kToken = "page-token";

// A registered register with no shift open and frgate on it with a token and the board's paper.
class AdminPage : public ::testing::Test {
 protected:
  // --paper with the board's paper, and the token.
  std::vector<std::string> paperAndToken() {
    std::vector<std::string> arguments = gateway::testing::tokenArguments(board_.root(), kToken);
    arguments.insert(arguments.end(), {"--paper", board_.board().paperTextPath().string()});
    return arguments;
  }
  static httplib::Headers auth() { return {{"Authorization", std::string("Bearer ") + kToken}}; }

  gateway::testing::RegisterBoard board_{{.shiftOpen = false}};
};

// A JavaScript text literal of `text` (for the page's expressions).
std::string literal(const std::string& text) { return json(text).dump(); }

// The text of the page's element `id`.
std::string textOf(const std::string& id) {
  return "document.getElementById(" + literal(id) + ").textContent";
}
// Whether the element `id` shows `text`.
std::string shows(const std::string& id, const std::string& text) {
  return textOf(id) + ".includes(" + literal(text) + ")";
}
std::string click(const std::string& id) { return "document.getElementById(" + literal(id) + ").click(), true"; }
std::string statusField(const std::string& name) {
  return "(document.querySelector('#status dd[data-field=" + literal(name) + "]') || {}).textContent";
}

TEST_F(AdminPage, InChromium_ShowsTheRegisterAndMakesItsDocumentsWithTheToken) {
  if (!ChromiumPage::available()) {
    GTEST_SKIP() << "chromium is not installed (Debian package chromium): the admin page was not driven";
  }
  gateway::testing::GatewayProcess frgate(board_.port(), board_.root() / "frgate.db", paperAndToken());
  ChromiumPage page(frgate.url() + "/");
  const auto seen = [&page](const std::string& id) { return page.evaluate(textOf(id)).dump(); };

  // Without the token the page says what the API answered.
  ASSERT_TRUE(page.waitFor(shows("status-note", "401"))) << seen("status-note") << page.log();
  EXPECT_EQ(page.evaluate("document.getElementById('paper-section').hidden"), true);

  page.evaluate("const t = document.getElementById('token'); t.value = " + literal(kToken) +
                "; t.dispatchEvent(new Event('input')); true");
  ASSERT_TRUE(page.waitFor(statusField("shift") + " === 'closed, number 0'")) << seen("status");
  EXPECT_EQ(page.evaluate(statusField("serial")), "0000012345");
  EXPECT_EQ(page.evaluate(statusField("registered")), "yes");
  EXPECT_EQ(page.evaluate("sessionStorage.getItem('frgate-token')"), kToken);

  // Each button's request, what the page then shows, and what the register then holds.
  struct Press {
    const char* button;
    const char* answer;  // shown in #answer
    const char* shift;   // the status's shift field after it
    std::uint32_t lastDocument;
  };
  const Press presses[] = {
      {"open-shift", "shift-open: document 2, shift 1", "open, number 1", 2},
      {"x-report", "X-report printed: shift 1, 0 receipts, drawer cash 0.00", "open, number 1", 2},
      {"open-shift", "409 a shift is open (code 26)", "open, number 1", 2},
      {"close-shift", "shift-close: document 3, shift 1", "closed, number 1", 3},
  };
  for (const Press& press : presses) {
    SCOPED_TRACE(press.button);
    page.evaluate(click(press.button));
    EXPECT_TRUE(page.waitFor(shows("answer", press.answer))) << seen("answer");
    EXPECT_TRUE(page.waitFor(statusField("shift") + " === " + literal(press.shift))) << seen("status");
    const json state = bodyOf(frgate.client().Get("/v1/status", auth()));
    EXPECT_EQ(state["last_document"]["number"], press.lastDocument) << state.dump();
  }
  EXPECT_TRUE(page.waitFor(shows("answer-details", "\"fiscal_sign\""))) << "the whole answer beside its line";

  // The last requests: the three document requests, newest first, each with its own key.
  ASSERT_TRUE(page.waitFor("document.querySelectorAll('#requests tr').length === 3")) << seen("requests");
  const json rows = page.evaluate(
      "Array.from(document.querySelectorAll('#requests tr'), (tr) => Array.from(tr.cells, (td) => td.textContent))");
  const json expected = {{"/v1/shifts/close", "done", "201", "3"},
                         {"/v1/shifts/open", "failed", "409", ""},
                         {"/v1/shifts/open", "done", "201", "2"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(json(rows[i].begin() + 2, rows[i].end()), expected[i]) << rows.dump();
    EXPECT_TRUE(rows[i][1].get<std::string>().starts_with("admin-page-")) << rows.dump();
  }
  EXPECT_NE(rows[0][1], rows[2][1]) << "a fresh key for every press";

  // The board's paper, as printed.
  ASSERT_TRUE(page.waitFor("!document.getElementById('paper-section').hidden"));
  EXPECT_TRUE(page.waitFor(shows("paper", "X-Отчет"))) << seen("paper");

  // The token stays with the tab: a reload shows the status without typing it again.
  page.evaluate("window.beforeReload = true; location.reload(), true");
  EXPECT_TRUE(page.waitFor("!window.beforeReload && " + statusField("shift") + " === 'closed, number 1'"))
      << seen("status");
  EXPECT_EQ(page.evaluate("document.getElementById('token').value"), kToken);
}

TEST_F(AdminPage, PaperRoute_LastLinesOnASimulatedBoardAndNotFoundOnARealOne) {
  const auto paperLines = [this] {
    std::ifstream file(board_.board().paperTextPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
  };
  {
    gateway::testing::GatewayProcess frgate(board_.port(), board_.root() / "frgate.db", paperAndToken());
    auto client = frgate.client();
    const auto answer = client.Get("/v1/paper?lines=4", auth());
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->status, 200) << answer->body;
    const auto all = paperLines();
    ASSERT_GE(all.size(), 4u) << "the registration was printed";
    EXPECT_EQ(bodyOf(answer)["lines"], json(std::vector<std::string>(all.end() - 4, all.end())));
    EXPECT_EQ(bodyOf(client.Get("/v1/paper", auth()))["lines"].size(), std::min<std::size_t>(all.size(), 100));

    struct Refused {
      const char* what;
      const char* path;
      httplib::Headers headers;
      int status;
    };
    const Refused refused[] = {
        {"no token", "/v1/paper", {}, 401},
        {"no lines", "/v1/paper?lines=0", auth(), 400},
        {"too many lines", "/v1/paper?lines=1001", auth(), 400},
        {"lines not a number", "/v1/paper?lines=all", auth(), 400},
    };
    for (const Refused& r : refused) {
      const auto refusal = client.Get(r.path, r.headers);
      ASSERT_TRUE(refusal) << r.what;
      EXPECT_EQ(refusal->status, r.status) << r.what;
      EXPECT_TRUE(bodyOf(refusal)["error"]["message"].is_string()) << r.what;
    }
  }
  // Not told where a paper is, as on a real register.
  gateway::testing::GatewayProcess frgate(board_.port(), board_.root() / "frgate.db");
  const auto answer = frgate.client().Get("/v1/paper");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 404);
  EXPECT_NE(bodyOf(answer)["error"]["message"].get<std::string>().find("--paper"), std::string::npos);
}

}  // namespace
