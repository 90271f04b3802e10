#pragma once

// The record store's schema and every SQL text the stand-in server runs, in one place so that
// anything measuring or checking the store (benchmarks, tests) can issue the very same
// statements. Parameters are numbered; each statement lists what it binds.

namespace seedwell::server::sql {

/// How long a statement waits for another process's lock before the store counts as locked.
inline constexpr int kBusyTimeoutMs = 5000;

/// Run on every connection after opening. WAL with synchronous NORMAL: a committed change is
/// in the write-ahead log before COMMIT returns, so it survives the process being killed; only
/// a crash of the whole machine may lose the last commits (never the file's consistency).
inline constexpr char kConnectionSetup[] = "PRAGMA synchronous = NORMAL;";

/// Creates the tables (kept when they exist) and switches the file to WAL. Run by the install.
inline constexpr char kCreateSchema[] = R"sql(
PRAGMA journal_mode = WAL;
PRAGMA user_version = 1;
CREATE TABLE IF NOT EXISTS postoffices (
    name TEXT NOT NULL PRIMARY KEY
);
CREATE TABLE IF NOT EXISTS domains (
    name TEXT NOT NULL UNIQUE COLLATE NOCASE,
    postoffice TEXT NOT NULL,
    redirection_hosts TEXT NOT NULL,
    redirection_status INTEGER NOT NULL,
    status INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS mailboxes (
    postoffice TEXT NOT NULL,
    name TEXT NOT NULL,
    size_limit INTEGER NOT NULL,
    redirect_address TEXT NOT NULL,
    redirect_status INTEGER NOT NULL,
    status INTEGER NOT NULL,
    size INTEGER NOT NULL,
    UNIQUE (postoffice, name)
);
CREATE TABLE IF NOT EXISTS logins (
    username TEXT NOT NULL UNIQUE,
    account TEXT NOT NULL,
    password_hash TEXT NOT NULL,
    rights TEXT NOT NULL,
    status INTEGER NOT NULL,
    description TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS addressmaps (
    source TEXT NOT NULL UNIQUE,
    account TEXT NOT NULL,
    destination TEXT NOT NULL,
    scope TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS addressmaps_by_destination ON addressmaps (account, destination);
)sql";

inline constexpr char kBegin[] = "BEGIN IMMEDIATE";
inline constexpr char kCommit[] = "COMMIT";
inline constexpr char kRollback[] = "ROLLBACK";

/// ?1 name. A row when the post office exists.
inline constexpr char kPostofficeExists[] = "SELECT 1 FROM postoffices WHERE name = ?1";
/// ?1 name. Changes one row when it was added.
inline constexpr char kAddPostoffice[] =
    "INSERT INTO postoffices (name) VALUES (?1) ON CONFLICT DO NOTHING";

/// ?1 domain name (ASCII case ignored). Columns: postoffice, redirection_hosts,
/// redirection_status, status.
inline constexpr char kGetDomain[] =
    "SELECT postoffice, redirection_hosts, redirection_status, status FROM domains "
    "WHERE name = ?1";
/// ?1 name, ?2 post office, ?3 redirection hosts, ?4 redirection status, ?5 status. Changes
/// one row when added; none when the domain exists or the post office does not.
inline constexpr char kAddDomain[] =
    "INSERT INTO domains (name, postoffice, redirection_hosts, redirection_status, status) "
    "SELECT ?1, ?2, ?3, ?4, ?5 WHERE EXISTS (SELECT 1 FROM postoffices WHERE name = ?2) "
    "ON CONFLICT DO NOTHING";

/// ?1 post office, ?2 mailbox. Columns: size_limit, redirect_address, redirect_status, status,
/// size.
inline constexpr char kGetMailbox[] =
    "SELECT size_limit, redirect_address, redirect_status, status, size FROM mailboxes "
    "WHERE postoffice = ?1 AND name = ?2";
/// ?1 post office, ?2 mailbox, ?3 limit, ?4 redirect address, ?5 redirect status, ?6 status,
/// ?7 size. Changes one row when added; none when it exists or the post office does not.
inline constexpr char kAddMailbox[] =
    "INSERT INTO mailboxes (postoffice, name, size_limit, redirect_address, redirect_status, "
    "status, size) SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?7 "
    "WHERE EXISTS (SELECT 1 FROM postoffices WHERE name = ?1) ON CONFLICT DO NOTHING";
/// ?1 post office, ?2 mailbox.
inline constexpr char kRemoveMailbox[] =
    "DELETE FROM mailboxes WHERE postoffice = ?1 AND name = ?2";

/// ?1 user name. A row when the login exists.
inline constexpr char kLoginExists[] = "SELECT 1 FROM logins WHERE username = ?1";
/// ?1 user name. Column: password_hash.
inline constexpr char kGetLoginHash[] = "SELECT password_hash FROM logins WHERE username = ?1";
/// ?1 user name, ?2 account (post office), ?3 password hash, ?4 rights, ?5 status,
/// ?6 description. Changes one row when added; none when it exists or the post office does not.
inline constexpr char kAddLogin[] =
    "INSERT INTO logins (username, account, password_hash, rights, status, description) "
    "SELECT ?1, ?2, ?3, ?4, ?5, ?6 WHERE EXISTS (SELECT 1 FROM postoffices WHERE name = ?2) "
    "ON CONFLICT DO NOTHING";
/// ?1 account, ?2 user name.
inline constexpr char kRemoveLogin[] = "DELETE FROM logins WHERE account = ?1 AND username = ?2";

/// ?1 source. Columns: account, destination, scope.
inline constexpr char kGetAddressMap[] =
    "SELECT account, destination, scope FROM addressmaps WHERE source = ?1";
/// ?1 source, ?2 account (post office), ?3 destination, ?4 scope. Changes one row when added;
/// none when the source is mapped already or the post office does not exist.
inline constexpr char kAddAddressMap[] =
    "INSERT INTO addressmaps (source, account, destination, scope) "
    "SELECT ?1, ?2, ?3, ?4 WHERE EXISTS (SELECT 1 FROM postoffices WHERE name = ?2) "
    "ON CONFLICT DO NOTHING";
/// ?1 account, ?2 destination: every map of that destination in that account.
inline constexpr char kRemoveAddressMaps[] =
    "DELETE FROM addressmaps WHERE account = ?1 AND destination = ?2";

/// Listings, sorted; the leading columns are the ones `twao list` promises.
inline constexpr char kListPostoffices[] = "SELECT name FROM postoffices ORDER BY name";
inline constexpr char kListDomains[] =
    "SELECT name, postoffice, redirection_hosts, redirection_status, status FROM domains "
    "ORDER BY name, postoffice";
inline constexpr char kListMailboxes[] =
    "SELECT postoffice, name, size_limit, redirect_address, redirect_status, status, size "
    "FROM mailboxes ORDER BY postoffice, name";
inline constexpr char kListLogins[] =
    "SELECT username, account, rights, status, description FROM logins ORDER BY username";
inline constexpr char kListAddressMaps[] =
    "SELECT source, destination, account, scope FROM addressmaps ORDER BY source";

}  // namespace seedwell::server::sql
