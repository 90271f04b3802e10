#include "server/store.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/error.h"
#include "base/printable.h"
#include "platform/registry.h"
#include "server/password.h"
#include "support/names.h"
#include "support/settings.h"

namespace seedwell::server {
using base::Quoted;

namespace {

// The path itself when it names an existing regular file that is safe to use; throws otherwise.
const std::string& ExistingStore(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        throw Error("the mail server's record store " + Quoted(path) +
                    " does not exist; install the server with 'twao install'");
    }
    if (error) {
        throw Error("cannot open the mail server's record store " + Quoted(path) + ": " +
                    error.message());
    }
    if (status.type() != std::filesystem::file_type::regular) {
        throw Error("the mail server's record store " + Quoted(path) + " is not a file");
    }
    CheckStoreSafety(path);
    return path;
}

std::string UserName(uid_t uid) {
    if (const passwd* user = ::getpwuid(uid)) return user->pw_name;
    return "the user " + std::to_string(uid);
}

std::string Mode(mode_t mode) {
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(mode & 07777));
    return octal;
}

// The connection with its settings applied, before the first statement is prepared on it.
Database& SetUp(Database& db) {
    db.Execute(sql::kConnectionSetup, "set up the connection");
    return db;
}

std::string HashPasswordFor(const std::string& what, std::string_view password) {
    try {
        return HashPassword(password);
    } catch (const Error& error) {
        throw Error(what + ": " + error.what());
    }
}

}  // namespace

void CheckStoreSafety(const std::string& path) {
    const uid_t self = ::geteuid();
    auto refuse = [&](const std::string& what, const std::string& reason) {
        return Error(base::Printable(what) + " " + reason + ": refusing to use it");
    };
    auto look = [&](const std::string& what, struct stat& info) {
        if (::stat(what.c_str(), &info) == 0) return true;
        if (errno == ENOENT) return false;
        throw Error("cannot check the mail server's record store " + Quoted(what) + ": " +
                    std::strerror(errno));
    };
    // Whoever may write the folder may put another store in place of this one.
    const std::size_t cut = path.rfind('/');
    const std::string folder = cut == std::string::npos ? "." : path.substr(0, cut ? cut : 1);
    struct stat info {};
    if (look(folder, info)) {
        if (info.st_uid != self && info.st_uid != 0) {
            throw refuse(folder, "is owned by " + UserName(info.st_uid) + ", not by " +
                                     UserName(self) + (self == 0 ? "" : " or root"));
        }
        if (info.st_mode & S_IWOTH) {
            throw refuse(folder, "is writable by others (mode " + Mode(info.st_mode) + ")");
        }
    }
    if (!look(path, info)) return;
    if (info.st_uid != self) {
        throw refuse(path, "is owned by " + UserName(info.st_uid) + ", not by " + UserName(self));
    }
    if (info.st_mode & (S_IWGRP | S_IWOTH)) {
        throw refuse(path, "is writable by its group or others (mode " + Mode(info.st_mode) + ")");
    }
}

Store::Store(const std::string& path, int busyTimeoutMs)
    : db_(ExistingStore(path), Database::Mode::kOpenExisting, busyTimeoutMs),
      begin_(SetUp(db_), sql::kBegin),
      commit_(db_, sql::kCommit),
      rollback_(db_, sql::kRollback),
      postofficeExists_(db_, sql::kPostofficeExists),
      addPostoffice_(db_, sql::kAddPostoffice),
      getDomain_(db_, sql::kGetDomain),
      addDomain_(db_, sql::kAddDomain),
      getMailbox_(db_, sql::kGetMailbox),
      addMailbox_(db_, sql::kAddMailbox),
      removeMailbox_(db_, sql::kRemoveMailbox),
      loginExists_(db_, sql::kLoginExists),
      loginHash_(db_, sql::kGetLoginHash),
      addLogin_(db_, sql::kAddLogin),
      removeLogin_(db_, sql::kRemoveLogin),
      getAddressMap_(db_, sql::kGetAddressMap),
      addAddressMap_(db_, sql::kAddAddressMap),
      removeAddressMaps_(db_, sql::kRemoveAddressMaps) {}

Store::~Store() = default;

bool Store::Exists(Statement& lookup, std::string_view key) {
    if (key.empty()) return false;
    Statement::Use use(lookup);
    lookup.Bind(1, key);
    return lookup.Step();
}

std::optional<std::string> Store::LoginPasswordHash(std::string_view username) {
    if (username.empty()) return std::nullopt;
    Statement::Use use(loginHash_);
    loginHash_.Bind(1, username);
    if (!loginHash_.Step()) return std::nullopt;
    return loginHash_.ColumnText(0);
}

std::optional<DomainRecord> Store::GetDomain(std::string_view name) {
    if (name.empty()) return std::nullopt;
    Statement::Use use(getDomain_);
    getDomain_.Bind(1, name);
    if (!getDomain_.Step()) return std::nullopt;
    DomainRecord domain;
    domain.name = name;
    domain.postoffice = getDomain_.ColumnText(0);
    domain.redirectionHosts = getDomain_.ColumnText(1);
    domain.redirectionStatus = static_cast<std::int32_t>(getDomain_.ColumnInt(2));
    domain.status = static_cast<std::int32_t>(getDomain_.ColumnInt(3));
    return domain;
}

std::optional<MailboxRecord> Store::GetMailbox(std::string_view postoffice, std::string_view name) {
    if (postoffice.empty() || name.empty()) return std::nullopt;
    Statement::Use use(getMailbox_);
    getMailbox_.Bind(1, postoffice);
    getMailbox_.Bind(2, name);
    if (!getMailbox_.Step()) return std::nullopt;
    MailboxRecord mailbox;
    mailbox.postoffice = postoffice;
    mailbox.name = name;
    mailbox.limit = static_cast<std::int32_t>(getMailbox_.ColumnInt(0));
    mailbox.redirectAddress = getMailbox_.ColumnText(1);
    mailbox.redirectStatus = static_cast<std::int32_t>(getMailbox_.ColumnInt(2));
    mailbox.status = static_cast<std::int32_t>(getMailbox_.ColumnInt(3));
    mailbox.size = static_cast<std::int32_t>(getMailbox_.ColumnInt(4));
    return mailbox;
}

std::optional<AddressMapRecord> Store::GetAddressMap(std::string_view source) {
    if (source.empty()) return std::nullopt;
    Statement::Use use(getAddressMap_);
    getAddressMap_.Bind(1, source);
    if (!getAddressMap_.Step()) return std::nullopt;
    AddressMapRecord map;
    map.source = source;
    map.account = getAddressMap_.ColumnText(0);
    map.destination = getAddressMap_.ColumnText(1);
    map.scope = getAddressMap_.ColumnText(2);
    return map;
}

bool Store::Insert(Statement& insert, std::string_view postoffice, const std::string& what,
                   const std::function<void()>& checkExisting) {
    Transaction transaction(begin_, commit_, rollback_);
    insert.Run();
    const bool added = db_.Changes() > 0;
    if (!added && !Exists(postofficeExists_, postoffice)) {
        throw Error(what + ": the post office " + Quoted(postoffice) + " does not exist");
    }
    if (!added && checkExisting) checkExisting();
    transaction.Commit();
    return added;
}

bool Store::AddPostoffice(std::string_view name) {
    if (name.empty()) throw Error("cannot add the post office: its name is empty");
    if (auto problem = support::FolderNameProblem("the post office name", name)) {
        throw Error("cannot add the post office: " + *problem);
    }
    Statement::Use use(addPostoffice_);
    addPostoffice_.Bind(1, name);
    Transaction transaction(begin_, commit_, rollback_);
    addPostoffice_.Run();
    const bool added = db_.Changes() > 0;
    transaction.Commit();
    return added;
}

bool Store::AddDomain(const DomainRecord& domain) {
    if (domain.name.empty()) throw Error("cannot add the domain: the domain name is empty");
    const std::string what = "cannot add the domain " + Quoted(domain.name);
    if (domain.postoffice.empty()) throw Error(what + ": the post office name is empty");
    Statement::Use use(addDomain_);
    addDomain_.Bind(1, domain.name);
    addDomain_.Bind(2, domain.postoffice);
    addDomain_.Bind(3, domain.redirectionHosts);
    addDomain_.Bind(4, std::int64_t{domain.redirectionStatus});
    addDomain_.Bind(5, std::int64_t{domain.status});
    // Another run may have added the domain since this caller looked it up: its mailboxes then
    // belong to the post office that owns it, and the caller must not go on with its own.
    return Insert(addDomain_, domain.postoffice, what, [&] {
        Statement::Use lookup(getDomain_);
        getDomain_.Bind(1, domain.name);
        if (!getDomain_.Step()) return;
        const std::string owner = getDomain_.ColumnText(0);
        if (owner != domain.postoffice) {
            throw Error(what + ": it exists already, owned by the post office " + Quoted(owner));
        }
    });
}

bool Store::AddMailbox(const MailboxRecord& mailbox) {
    if (mailbox.name.empty()) throw Error("cannot add the mailbox: the mailbox name is empty");
    const std::string what = "cannot add the mailbox " + Quoted(mailbox.name);
    if (mailbox.postoffice.empty()) throw Error(what + ": the post office name is empty");
    if (auto problem = support::FolderNameProblem("the mailbox name", mailbox.name)) {
        throw Error("cannot add the mailbox: " + *problem);
    }
    Statement::Use use(addMailbox_);
    addMailbox_.Bind(1, mailbox.postoffice);
    addMailbox_.Bind(2, mailbox.name);
    addMailbox_.Bind(3, std::int64_t{mailbox.limit});
    addMailbox_.Bind(4, mailbox.redirectAddress);
    addMailbox_.Bind(5, std::int64_t{mailbox.redirectStatus});
    addMailbox_.Bind(6, std::int64_t{mailbox.status});
    addMailbox_.Bind(7, std::int64_t{mailbox.size});
    return Insert(addMailbox_, mailbox.postoffice, what);
}

bool Store::AddLogin(const LoginRecord& login, std::string_view password) {
    if (login.username.empty()) throw Error("cannot add the login: the user name is empty");
    const std::string what = "cannot add the login " + Quoted(login.username);
    if (login.account.empty()) throw Error(what + ": the post office (account) name is empty");
    if (Exists(loginExists_, login.username)) return false;
    if (password.empty()) throw Error(what + ": the password is empty");
    const std::string hash = HashPasswordFor(what, password);
    Statement::Use use(addLogin_);
    addLogin_.Bind(1, login.username);
    addLogin_.Bind(2, login.account);
    addLogin_.Bind(3, hash);
    addLogin_.Bind(4, login.rights);
    addLogin_.Bind(5, std::int64_t{login.status});
    addLogin_.Bind(6, login.description);
    return Insert(addLogin_, login.account, what);
}

bool Store::AddAddressMap(const AddressMapRecord& map) {
    if (map.source.empty()) throw Error("cannot add the address map: the source address is empty");
    const std::string what = "cannot add the address map for " + Quoted(map.source);
    if (map.account.empty()) throw Error(what + ": the post office (account) name is empty");
    if (map.destination.empty()) throw Error(what + ": the destination address is empty");
    Statement::Use use(addAddressMap_);
    addAddressMap_.Bind(1, map.source);
    addAddressMap_.Bind(2, map.account);
    addAddressMap_.Bind(3, map.destination);
    addAddressMap_.Bind(4, map.scope);
    return Insert(addAddressMap_, map.account, what);
}

int Store::Delete(Statement& remove, std::string_view first, std::string_view second) {
    if (first.empty() || second.empty()) return 0;
    Statement::Use use(remove);
    remove.Bind(1, first);
    remove.Bind(2, second);
    Transaction transaction(begin_, commit_, rollback_);
    remove.Run();
    const int removed = db_.Changes();
    transaction.Commit();
    return removed;
}

int Store::RemoveMailbox(std::string_view postoffice, std::string_view name) {
    return Delete(removeMailbox_, postoffice, name);
}

int Store::RemoveLogin(std::string_view account, std::string_view username) {
    return Delete(removeLogin_, account, username);
}

int Store::RemoveAddressMaps(std::string_view account, std::string_view destination) {
    return Delete(removeAddressMaps_, account, destination);
}

std::vector<std::vector<std::string>> Store::List(const char* listingSql) {
    Statement listing(db_, listingSql);
    const int columns = listing.ColumnCount();
    std::vector<std::vector<std::string>> rows;
    while (listing.Step()) {
        auto& row = rows.emplace_back();
        for (int c = 0; c < columns; ++c) row.push_back(listing.ColumnText(c));
    }
    return rows;
}

std::string StorePathFor(std::string_view dataDirectory) {
    std::string path(dataDirectory);
    if (!path.empty() && path.back() != '/') path += '/';
    path += "Config/server.db";
    return path;
}

std::string LocateStore(platform::Registry& registry) {
    const std::string dataDirectory = support::GetDataDirectory(registry);
    if (dataDirectory.empty()) {
        throw Error(
            "the mail server is not installed: no \"Data Directory\" value under "
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarnwick\\Tarnwick");
    }
    return StorePathFor(dataDirectory);
}

}  // namespace seedwell::server
