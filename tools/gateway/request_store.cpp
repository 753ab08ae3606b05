#include "tools/gateway/request_store.h"

#include <array>
#include <charconv>
#include <string_view>

namespace gateway {
namespace {

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS requests (
  key TEXT PRIMARY KEY NOT NULL,
  path TEXT NOT NULL,
  body TEXT NOT NULL,
  state TEXT NOT NULL CHECK (state IN ('pending', 'done', 'failed')),
  status INTEGER,
  answer TEXT NOT NULL DEFAULT '',
  document INTEGER,
  last_number INTEGER NOT NULL,
  finish_id INTEGER NOT NULL,
  open_state TEXT NOT NULL DEFAULT '',
  created INTEGER NOT NULL,
  updated INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS requests_by_time ON requests (created);
)";

constexpr const char* kColumns =
    "SELECT key, path, body, state, status, answer, document, last_number, finish_id, open_state, created "
    "FROM requests ";

constexpr std::array<std::pair<RequestState, const char*>, 3> kStateNames = {
    {{RequestState::kPending, "pending"}, {RequestState::kDone, "done"}, {RequestState::kFailed, "failed"}}};

RequestState stateFromName(const std::string& name) {
  for (const auto& [state, text] : kStateNames) {
    if (name == text) return state;
  }
  return RequestState::kPending;  // the schema allows no other name
}

bytes::Bytes fromHex(std::string_view text) {
  bytes::Bytes out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    std::uint8_t byte = 0;
    std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
    out.push_back(byte);
  }
  return out;
}

}  // namespace

const char* stateName(RequestState state) {
  for (const auto& [candidate, text] : kStateNames) {
    if (candidate == state) return text;
  }
  return "pending";
}

std::optional<RequestStore> RequestStore::open(const std::string& path, std::string& problem) {
  auto database = Database::open(path, problem);
  if (!database) return std::nullopt;
  if (!database->execute(kSchema)) {
    problem = database->lastError();
    return std::nullopt;
  }
  return RequestStore(std::move(*database));
}

std::vector<RequestRecord> RequestStore::rows(Statement& query) {
  std::vector<RequestRecord> records;
  while (query.step() == Statement::Step::kRow) {
    RequestRecord& record = records.emplace_back();
    record.key = query.text(0).value_or("");
    record.path = query.text(1).value_or("");
    record.body = query.text(2).value_or("");
    record.state = stateFromName(query.text(3).value_or(""));
    if (const auto status = query.integer(4)) record.status = static_cast<int>(*status);
    record.answer = query.text(5).value_or("");
    if (const auto document = query.integer(6)) record.document = static_cast<std::uint32_t>(*document);
    record.lastNumber = static_cast<std::uint32_t>(query.integer(7).value_or(0));
    record.finishIdentifier = static_cast<std::uint32_t>(query.integer(8).value_or(0));
    record.openState = fromHex(query.text(9).value_or(""));
    record.created = query.integer(10).value_or(0);
  }
  return records;
}

std::optional<RequestRecord> RequestStore::find(const std::string& key) {
  const std::lock_guard lock(mutex_);
  Statement query = database_.prepare(std::string(kColumns) + "WHERE key = ?1");
  query.bind(1, key);
  auto records = rows(query);
  if (records.empty()) return std::nullopt;
  return std::move(records.front());
}

std::vector<RequestRecord> RequestStore::pending() {
  const std::lock_guard lock(mutex_);
  Statement query = database_.prepare(std::string(kColumns) + "WHERE state = 'pending' ORDER BY created, rowid");
  return rows(query);
}

std::vector<RequestRecord> RequestStore::newest(int limit) {
  const std::lock_guard lock(mutex_);
  Statement query = database_.prepare(std::string(kColumns) + "ORDER BY created DESC, rowid DESC LIMIT ?1");
  query.bind(1, std::int64_t{limit});
  return rows(query);
}

bool RequestStore::beginPending(const RequestRecord& record, std::int64_t now) {
  const std::lock_guard lock(mutex_);
  // A failed record gives way; a pending or done one keeps the key.
  Statement write = database_.prepare(
      "INSERT INTO requests (key, path, body, state, last_number, finish_id, created, updated) "
      "VALUES (?1, ?2, ?3, 'pending', ?4, ?5, ?6, ?6) "
      "ON CONFLICT (key) DO UPDATE SET path = ?2, body = ?3, state = 'pending', status = NULL, answer = '', "
      "document = NULL, last_number = ?4, finish_id = ?5, open_state = '', created = ?6, updated = ?6 "
      "WHERE state = 'failed'");
  write.bind(1, record.key).bind(2, record.path).bind(3, record.body);
  write.bind(4, std::int64_t{record.lastNumber}).bind(5, std::int64_t{record.finishIdentifier}).bind(6, now);
  if (!write.run()) return false;
  // The row is this request's only when it was inserted or replaced just now.
  Statement check = database_.prepare("SELECT changes()");
  return check.step() == Statement::Step::kRow && check.integer(0) == 1;
}

bool RequestStore::saveOpenState(const std::string& key, bytes::View state, std::int64_t now) {
  const std::lock_guard lock(mutex_);
  Statement write =
      database_.prepare("UPDATE requests SET open_state = ?2, updated = ?3 WHERE key = ?1 AND state = 'pending'");
  write.bind(1, key).bind(2, bytes::hexUpper(state)).bind(3, now);
  return write.run();
}

bool RequestStore::finish(const std::string& key, RequestState state, int status, const std::string& answer,
                          std::optional<std::uint32_t> document, std::int64_t now) {
  const std::lock_guard lock(mutex_);
  if (!database_.execute("BEGIN IMMEDIATE")) return false;
  Statement write = database_.prepare(
      "UPDATE requests SET state = ?2, status = ?3, answer = ?4, document = ?5, updated = ?6 WHERE key = ?1");
  write.bind(1, key).bind(2, std::string_view(stateName(state))).bind(3, std::int64_t{status}).bind(4, answer);
  write.bind(5, document ? std::optional<std::int64_t>(*document) : std::nullopt).bind(6, now);
  Statement prune = database_.prepare("DELETE FROM requests WHERE state != 'pending' AND created < ?1");
  prune.bind(1, now - kKeptSeconds);
  if (!write.run() || !prune.run()) {
    database_.execute("ROLLBACK");
    return false;
  }
  return database_.execute("COMMIT");
}

std::string RequestStore::lastError() {
  const std::lock_guard lock(mutex_);
  return database_.lastError();
}

}  // namespace gateway
