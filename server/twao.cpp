// twao: the administration command of the stand-in mail server.

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

#include "base/error.h"
#include "base/printable.h"
#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/registry.h"
#include "server/install.h"
#include "server/listing.h"
#include "server/password.h"
#include "server/regfile.h"
#include "server/schema.h"
#include "server/store.h"

namespace {

using namespace seedwell;

constexpr int kFailed = 2;

// Command-line text arrives in the system code page; the store holds UTF-8.
std::string FromArgument(const std::string& text, const char* what) {
    auto utf8 = platform::CodePage::System().ToUtf8(text);
    if (!utf8)
        throw Error(std::string("the ") + what + " is not valid text in the system code page");
    return *utf8;
}

std::string ForTerminal(const std::string& utf8) {
    auto converted = platform::CodePage::System().FromUtf8(utf8);
    return converted ? *converted : utf8;
}

// One field of a listing, as the terminal's code page shows it.
std::string Field(const std::string& text) { return ForTerminal(server::ListingField(text)); }

struct Listing {
    const char* header;
    const char* sql;
};

Listing ListingFor(const std::string& what) {
    if (what == "postoffices") return {"name", server::sql::kListPostoffices};
    if (what == "domains") {
        return {"domain\tpostoffice\tredirection_hosts\tredirection_status\tstatus",
                server::sql::kListDomains};
    }
    if (what == "mailboxes") {
        return {"postoffice\tmailbox\tlimit\tredirect_address\tredirect_status\tstatus\tsize",
                server::sql::kListMailboxes};
    }
    if (what == "logins") {
        return {"username\taccount\trights\tstatus\tdescription", server::sql::kListLogins};
    }
    return {"source\tdestination\taccount\tscope", server::sql::kListAddressMaps};
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "twao: administration of the stand-in Tarnwick mail server.\n"
        "Commands other than install find the server's data directory through the registry file "
        "(--registry, else $SEEDWELL_REGISTRY, else /etc/tarnwick/registry.reg).\n"
        "Exit status: 0 done, 1 a password that does not match (login check), 2 a failure."};
    app.require_subcommand(1);
    app.fallthrough();

    std::string registryFile;
    app.add_option("--registry", registryFile, "The registry file (.reg) to use");

    auto* install = app.add_subcommand(
        "install",
        "Create DIR, DIR/Config/server.db (owner-only) and DIR/Postoffices, and set \"Data "
        "Directory\"=DIR in the registry file, keeping what else it holds. Re-installing keeps "
        "the records.");
    std::string dataDir;
    install->add_option("--data-dir", dataDir, "The server's data directory")->required();

    auto* postoffice = app.add_subcommand("postoffice", "Manage post offices");
    postoffice->require_subcommand(1);
    auto* postofficeAdd = postoffice->add_subcommand(
        "add",
        "Add the post office NAME. One that exists already is left as it is: a note goes to "
        "stderr and the exit status is 0, so that setup scripts can run again.");
    std::string postofficeName;
    postofficeAdd->add_option("NAME", postofficeName, "The post office")->required();

    auto* list = app.add_subcommand(
        "list",
        "List records: a header line, then one line per record, sorted, columns separated by "
        "tabs (a tab, line break or backslash inside a value is written \\t, \\n, \\r, \\\\). "
        "Logins show no password hash.");
    std::string listWhat;
    list->add_option("WHAT", listWhat, "postoffices, domains, mailboxes, logins or addressmaps")
        ->required()
        ->check(CLI::IsMember({"postoffices", "domains", "mailboxes", "logins", "addressmaps"}));

    auto* login = app.add_subcommand("login", "Logins");
    login->require_subcommand(1);
    auto* loginCheck = login->add_subcommand(
        "check", "Exit 0 when PASSWORD is the password of login USER, 1 otherwise.");
    std::string user;
    std::string password;
    loginCheck->add_option("USER", user, "The login's user name")->required();
    loginCheck->add_option("PASSWORD", password, "The password; - reads one line from stdin")
        ->required();

    CLI11_PARSE(app, argc, argv);

    try {
        const std::string file =
            registryFile.empty() ? server::DefaultRegistryFile() : registryFile;
        if (*install) {
            const std::string written = server::InstallServer(dataDir, file);
            std::cout << "installed the mail server in " << base::Quoted(written)
                      << " (registry file " << base::Quoted(file) << ")\n";
            return 0;
        }
        const auto files = platform::MakeSystemFileSystem();
        server::RegFileRegistry registry(*files, file, platform::CodePage::System());
        server::Store store(server::LocateStore(registry));
        if (*postofficeAdd) {
            const std::string name = FromArgument(postofficeName, "post office name");
            if (!store.AddPostoffice(name)) {
                std::cerr << "twao: the post office " << ForTerminal(base::Quoted(name))
                          << " exists already; nothing changed\n";
            }
            return 0;
        }
        if (*list) {
            const Listing listing = ListingFor(listWhat);
            std::cout << listing.header << '\n';
            for (const auto& row : store.List(listing.sql)) {
                for (std::size_t i = 0; i < row.size(); ++i) {
                    std::cout << (i ? "\t" : "") << Field(row[i]);
                }
                std::cout << '\n';
            }
            std::cout.flush();
            return std::cout ? 0 : kFailed;
        }
        if (*loginCheck) {
            if (password == "-" && !std::getline(std::cin, password)) password.clear();
            const auto hash = store.LoginPasswordHash(FromArgument(user, "user name"));
            const bool matches =
                hash && server::PasswordMatches(FromArgument(password, "password"), *hash);
            return matches ? 0 : 1;
        }
    } catch (const std::exception& error) {
        std::cerr << "twao: " << error.what() << '\n';
        return kFailed;
    }
    return kFailed;
}
