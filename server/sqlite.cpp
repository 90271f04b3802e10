#include "server/sqlite.h"

#include <sqlite3.h>

#include <cstring>

#include "base/error.h"
#include "base/printable.h"

namespace seedwell::server {

void DbTraits::Close(sqlite3* db) noexcept { sqlite3_close_v2(db); }
void StatementTraits::Close(sqlite3_stmt* statement) noexcept { sqlite3_finalize(statement); }

Database::Database(std::string path, Mode mode, int busyTimeoutMs) : path_(std::move(path)) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    if (mode == Mode::kCreate) flags |= SQLITE_OPEN_CREATE;
    // A connection that failed to open is still there to close, with the reason in it.
    int rc = sqlite3_open_v2(path_.c_str(), db_.put(), flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string reason = db_ ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(rc);
        throw Error("cannot open the record store " + base::Quoted(path_) + ": " + reason);
    }
    sqlite3_busy_timeout(db_.get(), busyTimeoutMs);
}

void Database::Execute(const char* sql, std::string_view what) {
    int rc = sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(rc, what);
}

int Database::Changes() const { return sqlite3_changes(db_.get()); }

void Database::Fail(int rc, std::string_view what) const {
    const int primary = rc & 0xff;
    const std::string store = "the record store " + base::Quoted(path_);
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) {
        throw Error(store + " is locked by another process");
    }
    if (primary == SQLITE_READONLY) {
        throw Error(store + " is read-only, so its records cannot be changed");
    }
    std::string reason = sqlite3_errmsg(db_.get());
    if (reason.empty() || reason == "not an error") reason = sqlite3_errstr(rc);
    throw Error("cannot " + std::string(what) + " in " + store + ": " + reason);
}

Statement::Statement(Database& db, const char* sql) : db_(db) {
    int rc =
        sqlite3_prepare_v3(db.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, stmt_.put(), nullptr);
    if (rc != SQLITE_OK) db.Fail(rc, "read the record tables");
}

void Statement::Bind(int index, std::string_view text) {
    // An empty view may have no data pointer, which SQLite would bind as NULL.
    const char* data = text.data() ? text.data() : "";
    int rc =
        sqlite3_bind_text(stmt_.get(), index, data, static_cast<int>(text.size()), SQLITE_STATIC);
    if (rc != SQLITE_OK) db_.Fail(rc, "prepare a request");
}

void Statement::Bind(int index, std::int64_t number) {
    int rc = sqlite3_bind_int64(stmt_.get(), index, number);
    if (rc != SQLITE_OK) db_.Fail(rc, "prepare a request");
}

bool Statement::Step() {
    int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    db_.Fail(rc, "change or read the records");
}

std::string Statement::ColumnText(int column) const {
    const unsigned char* text = sqlite3_column_text(stmt_.get(), column);
    if (!text) return {};
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<std::size_t>(sqlite3_column_bytes(stmt_.get(), column)));
}

int Statement::ColumnCount() const { return sqlite3_column_count(stmt_.get()); }

std::int64_t Statement::ColumnInt(int column) const {
    return sqlite3_column_int64(stmt_.get(), column);
}

void Statement::RunIgnoringFailure() noexcept {
    while (sqlite3_step(stmt_.get()) == SQLITE_ROW) {
    }
}

void Statement::Reset() noexcept {
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
}

Transaction::Transaction(Statement& begin, Statement& commit, Statement& rollback)
    : commit_(commit), rollback_(rollback) {
    Statement::Use use(begin);
    begin.Run();
}

Transaction::~Transaction() {
    if (!open_) return;
    // The connection rolls back by itself when a statement failed badly enough to refuse
    // ROLLBACK, so a failure here leaves nothing to do.
    rollback_.Reset();
    rollback_.RunIgnoringFailure();
    rollback_.Reset();
}

void Transaction::Commit() {
    Statement::Use use(commit_);
    commit_.Run();
    open_ = false;
}

}  // namespace seedwell::server
