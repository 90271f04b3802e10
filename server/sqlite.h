#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/unique_handle.h"

struct sqlite3;
struct sqlite3_stmt;

namespace seedwell::server {

/// A SQLite connection, closed with sqlite3_close_v2.
struct DbTraits {
    static constexpr sqlite3* Invalid() noexcept { return nullptr; }
    static void Close(sqlite3* db) noexcept;
};
using UniqueDb = base::UniqueHandle<sqlite3*, DbTraits>;

/// A prepared statement, finalised with sqlite3_finalize.
struct StatementTraits {
    static constexpr sqlite3_stmt* Invalid() noexcept { return nullptr; }
    static void Close(sqlite3_stmt* statement) noexcept;
};
using UniqueStatement = base::UniqueHandle<sqlite3_stmt*, StatementTraits>;

/// One SQLite connection to the record store at a path. Owns the handle and closes it when
/// destroyed. Every failure throws seedwell::Error naming the store's path and SQLite's reason;
/// a lock that outlasts the busy timeout is described as the store being locked by another
/// process, a write refused by a read-only file as the store being read-only.
/// Not safe for use by two threads at once; callers serialise.
class Database {
  public:
    enum class Mode { kOpenExisting, kCreate };

    /// Opens `path`. kOpenExisting never creates a file (read-write, falling back to read-only
    /// when the file cannot be written, as SQLite does); kCreate creates it when missing.
    /// `busyTimeoutMs` is how long a statement waits for another process's lock.
    Database(std::string path, Mode mode, int busyTimeoutMs);
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& Path() const { return path_; }
    sqlite3* Handle() const { return db_.get(); }

    /// Runs `sql` (one or more statements, no results wanted). `what` says what was being done.
    void Execute(const char* sql, std::string_view what);
    /// Rows changed by the last INSERT, UPDATE or DELETE.
    int Changes() const;

    /// Throws the Error for SQLite result `rc` met while doing `what`.
    [[noreturn]] void Fail(int rc, std::string_view what) const;

  private:
    std::string path_;
    UniqueDb db_;
};

/// A prepared statement, prepared once and reused: bind, step, then Reset (or let a Use scope
/// reset it). Text is bound without copying: bound text must outlive the step, until the reset.
class Statement {
  public:
    Statement(Database& db, const char* sql);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    /// Binds parameter `index` (from 1).
    void Bind(int index, std::string_view text);
    void Bind(int index, std::int64_t number);
    /// Advances: true when a row is ready, false when done. Throws on failure.
    bool Step();
    /// Steps a statement that yields no row.
    void Run() {
        while (Step()) {
        }
    }
    /// Steps a statement that yields no row and leaves a failure unreported, for where nothing
    /// can be done about one. Never throws.
    void RunIgnoringFailure() noexcept;
    /// The text of result column `column` (from 0); empty for NULL.
    std::string ColumnText(int column) const;
    std::int64_t ColumnInt(int column) const;
    int ColumnCount() const;
    /// Makes the statement ready for new bindings and releases its locks. Never throws.
    void Reset() noexcept;

    /// Resets the statement when the scope ends, on every path.
    class Use {
      public:
        explicit Use(Statement& statement) : statement_(statement) {}
        ~Use() { statement_.Reset(); }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

      private:
        Statement& statement_;
    };

  private:
    Database& db_;
    UniqueStatement stmt_;
};

/// An explicit transaction begun with BEGIN IMMEDIATE, so that a second writer waits for the
/// busy timeout at the start instead of failing on a lock upgrade later. Rolled back when
/// destroyed without Commit(). The three statements are the caller's, prepared once.
class Transaction {
  public:
    Transaction(Statement& begin, Statement& commit, Statement& rollback);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit();

  private:
    Statement& commit_;
    Statement& rollback_;
    bool open_ = true;
};

}  // namespace seedwell::server
