// A page in headless Chromium for tests, driven over the DevTools protocol on a pipe: the
// browser reads commands from its descriptor 3 and writes answers and events on its
// descriptor 4, each message one JSON text ended by a NUL byte. Nothing else is needed than
// Debian's chromium.
//
//   if (!gateway::testing::ChromiumPage::available()) GTEST_SKIP() << "...";
//   gateway::testing::ChromiumPage page(frgate.url() + "/");
//   page.waitFor("document.querySelector('#status').textContent.includes('open')");
//   page.evaluate("document.querySelector('#x-report').click()");
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/temporary_directory.h"

namespace gateway::testing {

class ChromiumPage {
 public:
  // Whether a program `chromium` is on PATH.
  static bool available();

  // Starts the browser with a fresh profile and opens `url` in a new page. Throws
  // std::runtime_error when the browser does not start or answer within a minute.
  explicit ChromiumPage(const std::string& url);
  // Closes the browser, and kills it when it does not end.
  ~ChromiumPage();
  ChromiumPage(const ChromiumPage&) = delete;
  ChromiumPage& operator=(const ChromiumPage&) = delete;

  // The value of the JavaScript `expression` in the page (a promise awaited), as JSON; throws
  // std::runtime_error when it throws in the page.
  nlohmann::json evaluate(const std::string& expression);
  // Evaluates `expression` until its value is truthy (true) or `timeout` has passed (false).
  // An expression that throws counts as not yet (the page may still be loading).
  bool waitFor(const std::string& expression, std::chrono::milliseconds timeout = std::chrono::seconds(60));

  // The end of what the browser wrote on its standard error, for a failing test's message.
  std::string log() const;

 private:
  // Sends the protocol command `method` (to the page when `toPage`) and returns its result.
  nlohmann::json call(const std::string& method, const nlohmann::json& params, bool toPage);
  // The next message from the browser, waiting until `deadline`.
  nlohmann::json receive(std::chrono::steady_clock::time_point deadline);

  platform::TemporaryDirectory profile_;
  pid_t pid_ = -1;
  int commands_ = -1;  // our end of the browser's descriptor 3
  int events_ = -1;    // our end of the browser's descriptor 4
  std::string received_;
  int nextId_ = 1;
  std::string session_;
};

}  // namespace gateway::testing
