// frgate's routes: HTTP and JSON in, the register's requests out, one at a time on the line.
//
// Every request but GET / and GET /openapi.json needs the bearer token when one is set. The
// requests that make documents carry an Idempotency-Key and are made exactly once
// (DocumentMaker); the others are served as they come. Each request waits for the line at most
// GatewayOptions::queueWait; a request that has started on the line runs to its end.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/gateway/document_maker.h"
#include "tools/gateway/http_answer.h"
#include "tools/gateway/key_claims.h"
#include "tools/gateway/line_queue.h"
#include "tools/gateway/register_line.h"
#include "tools/gateway/request_store.h"
#include "tools/host/plan.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace gateway {

struct GatewayOptions {
  // The cashier of requests that name none.
  host::Operator cashier;
  // Requires "Authorization: Bearer TOKEN" when not empty.
  std::string token = {};
  // How long a request waits for the line before it is answered 503.
  std::chrono::milliseconds queueWait{30000};
  // A simulated board's paper.txt, served by GET /v1/paper; empty on a real register (404).
  std::filesystem::path paper = {};
};

// A route the gateway serves: its method and its path as the OpenAPI document writes it
// ("/v1/cashiers/{n}").
struct Route {
  std::string method;
  std::string path;
};

// The most a request body may hold.
inline constexpr std::size_t kMaxBody = 1024 * 1024;

class Gateway {
 public:
  Gateway(RegisterLine line, RequestStore store, GatewayOptions options, std::ostream& log);

  // Settles the records left pending by an earlier run, as a job on the line; false when the
  // register did not answer (they are settled as soon as it does).
  bool settleAtStart();
  // Sets the routes, the token check, the body limit and the JSON error answers on `server`.
  void attach(httplib::Server& server);
  // Lets the request on the line end and answers every waiting one 503.
  void stop() { queue_.stop(); }

  // Every route attach() sets.
  static std::vector<Route> routes();

 private:
  using Handler = Answer (Gateway::*)(const httplib::Request&);
  struct RouteHandler {
    const char* method;
    const char* path;
    Handler handler;
  };
  static const std::vector<RouteHandler>& routeTable();

  // The line's idle task: settles what stayed pending; a failure is logged, never thrown.
  void settleWhileIdle();
  // Runs `work` on the line once every pending record is settled.
  Answer onLine(const std::function<Answer()>& work);
  // An answer from the register's reply to one request: `describe` turns a reply of code 0
  // into the answer's body.
  Answer single(const host::Request& request, std::string_view what,
                const std::function<Json(const host::Reply&)>& describe);

  Answer status(const httplib::Request& request);
  Answer document(const httplib::Request& request);
  Answer report(const httplib::Request& request);
  Answer tape(const httplib::Request& request);
  Answer copy(const httplib::Request& request);
  Answer clock(const httplib::Request& request);
  Answer paperWidth(const httplib::Request& request);
  Answer requests(const httplib::Request& request);
  Answer paper(const httplib::Request& request);
  Answer openApi(const httplib::Request& request);
  Answer adminPage(const httplib::Request& request);
  template <typename Record>
  Answer record(const httplib::Request& request);

  bool authorized(const httplib::Request& request) const;

  RegisterLine line_;
  RequestStore store_;
  GatewayOptions options_;
  std::ostream& log_;
  DocumentMaker maker_;
  // The keys whose requests are being served.
  KeyClaims inFlight_;
  LineQueue<Answer> queue_;  // last: its thread starts once everything above is ready
};

}  // namespace gateway
