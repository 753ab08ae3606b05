// A small RAII layer over SQLite's C API: a connection and its prepared statements.
//
// Errors are reported, never thrown: a statement that fails leaves the connection as it was
// (the caller rolls back what it began), and the failure's text is kept for a diagnostic.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace gateway {

class Statement;

class Database {
 public:
  // Opens (creating when missing) the database file at `path`, in write-ahead-log mode with
  // every commit synced to the disk before it returns (synchronous=FULL), waiting up to
  // `busyTimeoutMs` for a lock another connection holds. nullopt with `problem` set when the
  // file cannot be opened or set up so.
  static std::optional<Database> open(const std::string& path, std::string& problem, int busyTimeoutMs = 5000);

  ~Database();
  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs one or more statements without results; false (lastError() says why) on failure.
  bool execute(std::string_view sql);
  // A prepared statement; one that does not compile is a programming error (std::logic_error).
  Statement prepare(std::string_view sql);

  std::string lastError() const;

 private:
  explicit Database(sqlite3* handle) : handle_(handle) {}
  sqlite3* handle_;
};

class Statement {
 public:
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&&) = delete;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters are numbered from 1, as in the SQL text's ?1, ?2 ...
  Statement& bind(int index, std::int64_t value);
  Statement& bind(int index, std::string_view text);
  Statement& bindNull(int index);
  template <typename Value>
  Statement& bind(int index, const std::optional<Value>& value) {
    return value ? bind(index, *value) : bindNull(index);
  }

  enum class Step { kRow, kDone, kFailed };
  // The next row, the end, or a failure (the database's lastError() says why).
  Step step();
  // Runs a statement without rows to its end; false on failure.
  bool run() { return step() == Step::kDone; }

  // Columns of the current row, numbered from 0. A NULL column reads as nullopt.
  std::optional<std::int64_t> integer(int column) const;
  std::optional<std::string> text(int column) const;

 private:
  friend class Database;
  explicit Statement(sqlite3_stmt* handle) : handle_(handle) {}
  sqlite3_stmt* handle_;
};

}  // namespace gateway
