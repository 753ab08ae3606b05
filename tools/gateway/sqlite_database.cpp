#include "tools/gateway/sqlite_database.h"

#include <sqlite3.h>

#include <stdexcept>
#include <utility>

namespace gateway {

std::optional<Database> Database::open(const std::string& path, std::string& problem, int busyTimeoutMs) {
  sqlite3* handle = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  Database database(handle);  // closes the handle whatever happens below
  if (opened != SQLITE_OK) {
    problem = handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(opened);
    return std::nullopt;
  }
  sqlite3_busy_timeout(handle, busyTimeoutMs);
  // journal_mode answers the mode it is in: a file system without shared memory stays in another.
  Statement mode = database.prepare("PRAGMA journal_mode=WAL");
  const bool wal = mode.step() == Statement::Step::kRow && mode.text(0) == "wal";
  if (!wal || !database.execute("PRAGMA synchronous=FULL")) {
    problem = wal ? database.lastError() : "the database cannot be put in write-ahead-log mode";
    return std::nullopt;
  }
  return database;
}

Database::~Database() {
  if (handle_ != nullptr) sqlite3_close_v2(handle_);
}

Database::Database(Database&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) sqlite3_close_v2(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

bool Database::execute(std::string_view sql) {
  const std::string text(sql);
  return sqlite3_exec(handle_, text.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement Database::prepare(std::string_view sql) {
  sqlite3_stmt* handle = nullptr;
  if (sqlite3_prepare_v2(handle_, sql.data(), static_cast<int>(sql.size()), &handle, nullptr) != SQLITE_OK) {
    throw std::logic_error("SQL that does not compile: " + std::string(sqlite3_errmsg(handle_)));
  }
  return Statement(handle);
}

std::string Database::lastError() const { return sqlite3_errmsg(handle_); }

Statement::~Statement() {
  if (handle_ != nullptr) sqlite3_finalize(handle_);
}

Statement::Statement(Statement&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Statement& Statement::bind(int index, std::int64_t value) {
  sqlite3_bind_int64(handle_, index, value);
  return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
  sqlite3_bind_text64(handle_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  return *this;
}

Statement& Statement::bindNull(int index) {
  sqlite3_bind_null(handle_, index);
  return *this;
}

Statement::Step Statement::step() {
  switch (sqlite3_step(handle_)) {
    case SQLITE_ROW: return Step::kRow;
    case SQLITE_DONE: return Step::kDone;
    default: return Step::kFailed;
  }
}

std::optional<std::int64_t> Statement::integer(int column) const {
  if (sqlite3_column_type(handle_, column) == SQLITE_NULL) return std::nullopt;
  return sqlite3_column_int64(handle_, column);
}

std::optional<std::string> Statement::text(int column) const {
  const unsigned char* value = sqlite3_column_text(handle_, column);
  if (value == nullptr) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(value), static_cast<std::size_t>(sqlite3_column_bytes(handle_, column)));
}

}  // namespace gateway
