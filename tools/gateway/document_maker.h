// Documents made exactly once: every document request is recorded before the register is asked
// to make anything, and its outcome after; a request whose reply was lost is settled before the
// line serves anything else.
//
// A lost reply is settled first with the link's re-send byte: the register's last reply is
// taken when it carries the lost request's identifier. Otherwise (the register restarted, or
// the request never reached it) the register's state decides: a last document number above the
// one recorded before the request means the document was stored, and its number and time are
// the document's (its fiscal sign is then on the paper and in the archive only). A document the
// request left open is cancelled. A maker is used only by the line's jobs, one at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "tools/gateway/answer_forms.h"
#include "tools/gateway/http_answer.h"
#include "tools/gateway/register_line.h"
#include "tools/gateway/request_bodies.h"
#include "tools/gateway/request_store.h"

namespace gateway {

class DocumentMaker {
 public:
  // Diagnostics (settlements, cancellations, records that cannot be written) go to `log`.
  DocumentMaker(RegisterLine& line, RequestStore& store, std::ostream& log);

  // Settles every pending record, oldest first. False when one stays pending because the
  // register does not answer: then no document may be made.
  bool settlePending();

  // Makes the document of `order` at most once for `key`, given with `path` and the body's
  // canonical JSON: a key already done answers its recorded answer again with the same body and
  // 422 with another. Call only when settlePending() is true.
  Answer make(const std::string& key, const std::string& path, const std::string& body, const DocumentOrder& order);

 private:
  struct Outcome {
    RequestState state;
    Answer answer;
    std::optional<std::uint32_t> document;
  };
  // A reply, and whether it came through the re-send byte after its first copy was lost.
  struct Exchanged {
    host::Reply reply;
    bool resent;
  };

  std::optional<Exchanged> exchange(const host::Request& request);
  // The outcome of a pending record whose reply was lost: from the re-sent reply when it is the
  // finish's (`resent`), else from the register's state; nullopt while the register does not
  // answer.
  std::optional<Outcome> settle(const RequestRecord& record, const DocumentOrder& order,
                                const std::optional<host::Reply>& resent);
  std::optional<Outcome> settleFromState(const RequestRecord& record, const DocumentOrder& order);
  Outcome finished(const DocumentOrder& order, const host::Reply& finish, bool settled);
  // Records the outcome and gives its answer.
  Answer conclude(const RequestRecord& record, const Outcome& outcome);
  Answer stillPending(const RequestRecord& record);
  void cancelOpenDocument();

  RegisterLine& line_;
  RequestStore& store_;
  std::ostream& log_;
  // Whether a record may be pending: true at start, from each record's start (however its
  // serving ends) and while one stays pending; settlePending() finds out.
  bool mayBePending_ = true;
};

}  // namespace gateway
