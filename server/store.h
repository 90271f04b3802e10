#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "server/schema.h"
#include "server/sqlite.h"

namespace seedwell::server {

struct DomainRecord {
    std::string name;
    std::string postoffice;
    std::string redirectionHosts;
    std::int32_t redirectionStatus = 0;
    std::int32_t status = 0;
};

struct MailboxRecord {
    std::string postoffice;
    std::string name;
    std::int32_t limit = 0;
    std::string redirectAddress;
    std::int32_t redirectStatus = 0;
    std::int32_t status = 0;
    std::int32_t size = 0;
};

struct LoginRecord {
    std::string username;
    std::string account;  // the post office
    std::string rights;
    std::int32_t status = 0;
    std::string description;
};

struct AddressMapRecord {
    std::string source;
    std::string account;  // the post office
    std::string destination;
    std::string scope;
};

/// The server's records: one connection to <data directory>/Config/server.db with its
/// statements prepared once. For one thread at a time. Every method throws seedwell::Error with a
/// description naming the store's path on failure. Each Add and Remove is one committed
/// transaction: once it returns, its change survives the process being killed.
class Store {
  public:
    /// Opens the existing store at `path`; never creates it. Throws when the file is missing
    /// ("... does not exist; install the server with 'twao install'"), fails CheckStoreSafety,
    /// is not a record store, or cannot be opened.
    explicit Store(const std::string& path, int busyTimeoutMs = sql::kBusyTimeoutMs);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const std::string& Path() const { return db_.Path(); }

    /// Lookups by key; nullopt when nothing matches or the key is empty.
    std::optional<DomainRecord> GetDomain(std::string_view name);  // ASCII case ignored
    std::optional<MailboxRecord> GetMailbox(std::string_view postoffice, std::string_view name);
    std::optional<AddressMapRecord> GetAddressMap(std::string_view source);
    /// The stored password hash of `username`, or nullopt.
    std::optional<std::string> LoginPasswordHash(std::string_view username);

    /// Adds the record: true when added, false (changing nothing) when its key exists. Throws
    /// when a key is empty or the post office it names does not exist, and AddDomain throws,
    /// naming the owner, when the domain exists in another post office than the one given.
    bool AddPostoffice(std::string_view name);
    bool AddDomain(const DomainRecord& domain);
    bool AddMailbox(const MailboxRecord& mailbox);
    /// Looks the login up first and hashes `password` only when it is missing; an existing
    /// login keeps its password. Also throws for an empty password.
    bool AddLogin(const LoginRecord& login, std::string_view password);
    bool AddAddressMap(const AddressMapRecord& map);

    /// Removals; the number of records removed (0 for an empty key).
    int RemoveMailbox(std::string_view postoffice, std::string_view name);
    int RemoveLogin(std::string_view account, std::string_view username);
    int RemoveAddressMaps(std::string_view account, std::string_view destination);

    /// The rows of a read-only listing query (one of the sql::kList texts), each column as text.
    std::vector<std::vector<std::string>> List(const char* listingSql);

  private:
    // Runs a prepared INSERT ... ON CONFLICT DO NOTHING inside its own transaction; when it
    // adds nothing because `postoffice` is missing, throws `what` + the reason.
    // When it adds nothing because the record exists, `checkExisting` (if any) may still throw.
    bool Insert(Statement& insert, std::string_view postoffice, const std::string& what,
                const std::function<void()>& checkExisting = {});
    int Delete(Statement& remove, std::string_view first, std::string_view second);
    bool Exists(Statement& lookup, std::string_view key);

    Database db_;
    Statement begin_, commit_, rollback_;
    Statement postofficeExists_, addPostoffice_;
    Statement getDomain_, addDomain_;
    Statement getMailbox_, addMailbox_, removeMailbox_;
    Statement loginExists_, loginHash_, addLogin_, removeLogin_;
    Statement getAddressMap_, addAddressMap_, removeAddressMaps_;
};

/// Refuses, as an SSH server's strict modes do, a store that another user may have put in place
/// or may change: throws seedwell::Error naming the path and the reason ("/srv/mail/Config/
/// server.db is owned by nobody, not by root: refusing to use it") when the store's folder is
/// owned by anyone but the running user or root or is writable by others, or when the store is
/// owned by anyone but the running user or is writable by its group or others. What does not
/// exist passes.
void CheckStoreSafety(const std::string& path);

/// `dataDirectory` joined with "Config" and "server.db", without doubling a separator that
/// `dataDirectory` already ends in.
std::string StorePathFor(std::string_view dataDirectory);

/// The store's path for the data directory that `registry` holds. Throws, naming the registry
/// value, when the mail server is not installed (no "Data Directory").
std::string LocateStore(platform::Registry& registry);

}  // namespace seedwell::server
