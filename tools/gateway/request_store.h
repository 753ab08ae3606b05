// The gateway's record of document requests, kept in its SQLite database so that a request
// made twice, or whose reply was lost, makes its document exactly once.
//
// One row per idempotency key:
//   key, path        the key and the route it was given with
//   body             the request body as canonical JSON (keys sorted, no blanks): later
//                    requests with the key must carry the same
//   state            pending: the register may be making or have made the document, and the
//                    outcome is not known yet; done: the document was made (status 201, its
//                    answer kept for replays); failed: nothing was made (the key is not spent)
//   status, answer   the HTTP status and body answered, once known
//   document         the document's number once made
//   last_number      the register's last document number before the request: a later one
//                    means the document was stored
//   finish_id        the transaction identifier of the request's finish command
//   open_state       the open document's state (hex) read just before the finish
//   created, updated seconds since the epoch
//
// Every change is one transaction, synced before it returns. The store is safe to use from
// several threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/gateway/sqlite_database.h"
#include "values/bytes.h"

namespace gateway {

enum class RequestState { kPending, kDone, kFailed };

struct RequestRecord {
  std::string key;
  std::string path;
  std::string body;
  RequestState state = RequestState::kPending;
  std::optional<int> status = {};
  std::string answer = {};
  std::optional<std::uint32_t> document = {};
  std::uint32_t lastNumber = 0;
  std::uint32_t finishIdentifier = 0;
  bytes::Bytes openState = {};
  std::int64_t created = 0;
};

const char* stateName(RequestState state);

class RequestStore {
 public:
  // How long finished records are kept at least.
  static constexpr std::int64_t kKeptSeconds = 30 * 24 * 60 * 60;

  // Opens or creates the records in the database at `path`; nullopt with `problem` set.
  static std::optional<RequestStore> open(const std::string& path, std::string& problem);

  RequestStore(RequestStore&& other) noexcept : database_(std::move(other.database_)) {}

  std::optional<RequestRecord> find(const std::string& key);
  // The pending records, oldest first.
  std::vector<RequestRecord> pending();
  // The newest records first, at most `limit`.
  std::vector<RequestRecord> newest(int limit);

  // Records a request as pending, replacing a failed record with its key; `now` is its time.
  // False when it could not be written, or a pending or done record holds the key: then
  // nothing may be sent for it.
  bool beginPending(const RequestRecord& record, std::int64_t now);
  bool saveOpenState(const std::string& key, bytes::View state, std::int64_t now);
  // Records the outcome and prunes the finished records created before `now - kKeptSeconds`.
  bool finish(const std::string& key, RequestState state, int status, const std::string& answer,
              std::optional<std::uint32_t> document, std::int64_t now);

  std::string lastError();

 private:
  explicit RequestStore(Database database) : database_(std::move(database)) {}
  // The rows of `query` (selecting the record's columns in order); the caller holds the lock.
  static std::vector<RequestRecord> rows(Statement& query);

  std::mutex mutex_;
  Database database_;
};

}  // namespace gateway
