#include "provisioning/operations.h"

#include <exception>
#include <memory>

#include "platform/error.h"
#include "platform/full_path.h"
#include "platform/names.h"
#include "platform/registry.h"
#include "support/line_checks.h"

namespace seedwell::provisioning {
namespace {

using platform::AdminObject;
using platform::HoldsControlCharacter;
using platform::Printable;
using platform::Value;

std::string Str(std::string_view text) { return std::string(text); }

std::unique_ptr<AdminObject> Make(const Services& services, std::string_view progId) {
    return services.objects.CreateObject(progId);
}

std::string Describe(const std::exception& failure) {
    std::string description = failure.what();
    return description.empty() ? "an unexpected failure without a description" : description;
}

void SetLoginProperties(AdminObject& login, const std::string& postoffice,
                        const std::string& mailboxName, const std::string& password,
                        const Value& rights) {
    login.SetProperty("Account", postoffice);
    login.SetProperty("Description", Str(""));
    login.SetProperty("Password", password);
    login.SetProperty("Rights", rights);
    login.SetProperty("Status", std::int16_t{1});
    login.SetProperty("UserName", LoginUserName(mailboxName, postoffice));
}

// Why `name` cannot be one folder name here: the rule every platform shares, then the file
// system's own.
std::optional<std::string> FolderProblem(const platform::FileSystem& files, std::string_view what,
                                         std::string_view name) {
    if (auto problem = platform::FolderNameProblem(what, name)) return problem;
    return files.NameProblem(what, name);
}

void RefuseUnsafeNames(const Services& services, const std::string& postoffice,
                       const std::string& mailboxName, std::string_view consequence) {
    if (auto problem = FolderProblem(services.files, "the post office name", postoffice)) {
        throw Error(*problem + std::string(consequence));
    }
    if (auto problem = FolderProblem(services.files, "the mailbox name", mailboxName)) {
        throw Error(*problem + std::string(consequence));
    }
}

// The four levels of a mailbox's folder tree, each made only when it is missing.
void MakeFolderTree(const Services& services, const std::string& root,
                    const std::string& postoffice, const std::string& mailboxName) {
    if (root.empty()) {
        throw Error("the post-office root is empty, so the folders of the mailbox '" +
                    Printable(mailboxName) + "' were not made");
    }
    if (!platform::IsFullPath(root, services.files.Separator())) {
        throw Error("the post-office root '" + Printable(root) +
                    "' is not a full path, so the folders of the mailbox '" +
                    Printable(mailboxName) + "' were not made");
    }
    const std::string sep(1, services.files.Separator());
    const std::string levels[] = {
        root + sep + postoffice,
        root + sep + postoffice + sep + "mailroot",
        root + sep + postoffice + sep + "mailroot" + sep + mailboxName,
        root + sep + postoffice + sep + "mailroot" + sep + mailboxName + sep + "inbox",
    };
    for (const std::string& folder : levels) {
        if (services.files.FolderExists(folder)) continue;
        try {
            services.files.CreateFolder(folder);
        } catch (const std::exception&) {
            // Another run may have made it since the check; then nothing is missing.
            if (!services.files.FolderExists(folder)) throw;
        }
    }
}

// Runs `steps`; a failure among them is shown as `prefix` followed by its description, in a
// box with no icon and the application's title, and the call returns normally.
template <typename Steps>
void ReportingFailures(const Services& services, std::string_view prefix, Steps steps) noexcept {
    std::string description;
    try {
        steps();
        return;
    } catch (const std::exception& failure) {
        description = Describe(failure);
    } catch (...) {
        description = "an unexpected failure without a description";
    }
    try {
        services.messages.Show(std::string(prefix) + description, platform::kMbOk, std::nullopt);
    } catch (...) {
        // Nothing further can be told when the message box itself fails.
    }
}

// The data directory's post-office root, below which every level down to a mailbox's folder
// must be a real folder.
std::string PostofficeRoot(const Services& services, const std::string& mailboxName) {
    std::string dataDirectory = platform::GetDataDirectory(services.registry, services.codePage);
    if (dataDirectory.empty()) {
        throw Error("the folder of the mailbox '" + Printable(mailboxName) +
                    "' cannot be found: the mail server's data directory is not in the "
                    "registry; nothing was deleted");
    }
    if (!platform::IsFullPath(dataDirectory, services.files.Separator())) {
        throw Error("the folder of the mailbox '" + Printable(mailboxName) +
                    "' cannot be found: the mail server's data directory '" +
                    Printable(dataDirectory) + "' is not a full path; nothing was deleted");
    }
    return services.files.BuildPath(dataDirectory, "Postoffices");
}

// Removes the mailbox's own folder (post office, "mailroot", mailbox name below the post-office
// root). False, after telling why, when the mailbox is to stay as it is.
bool RemoveMailboxFolder(const Services& services, const std::string& postoffice,
                         const std::string& mailboxName) {
    using Outcome = platform::FolderRemoval::Outcome;
    const std::string root = PostofficeRoot(services, mailboxName);
    // A name the file system refuses throws, and is shown by its description.
    const platform::FolderRemoval removal =
        services.files.RemoveFolderBelow(root, {postoffice, "mailroot", mailboxName}, true);
    std::string message;
    switch (removal.outcome) {
        case Outcome::kRemoved:
        case Outcome::kMissing:
            return true;
        case Outcome::kLink:
            message = "The " + mailboxName + " mailbox was not deleted: " + removal.detail +
                      " is a link.";
            break;
        case Outcome::kOtherLetters:
            message = "The " + mailboxName + " mailbox was not deleted: its folder " +
                      removal.detail + " is named in other letters and may be another mailbox's.";
            break;
        case Outcome::kInUse:
            message = InUseMessage(mailboxName);
            break;
        case Outcome::kPartlyRemoved:
            message = InUseMessage(mailboxName) + " Some of its files were already removed.";
            break;
    }
    services.messages.Show(message, platform::kMbOk, std::nullopt);
    return false;
}

}  // namespace

std::string LoginUserName(std::string_view mailboxName, std::string_view postoffice) {
    return Str(mailboxName) + "@" + Str(postoffice);
}

std::string AddressMapDestination(std::string_view destinationType, std::string_view postoffice,
                                  std::string_view mailboxName) {
    return "[" + Str(destinationType) + ":" + Str(postoffice) + "/" + Str(mailboxName) + "]";
}

std::string AddressMapSource(std::string_view address) { return "[SMTP:" + Str(address) + "]"; }

std::optional<std::string> LineProblem(const platform::FileSystem& files,
                                       std::string_view postoffice, std::string_view address,
                                       std::string_view mailboxName,
                                       std::optional<std::string_view> domain,
                                       std::optional<std::string_view> password) {
    if (auto problem = support::BlankProblem("the post office", postoffice)) return problem;
    if (auto problem = support::BlankProblem("the address", address)) return problem;
    if (auto problem = support::BlankProblem("the mailbox name", mailboxName)) return problem;
    if (domain) {
        if (auto problem = support::BlankProblem("the domain", *domain)) return problem;
    }
    if (auto problem = support::QuoteProblem("the post office", postoffice)) return problem;
    if (auto problem = support::QuoteProblem("the address", address)) return problem;
    if (password) {
        if (auto problem = support::PasswordQuoteProblem(*password)) return problem;
    }
    if (auto problem = FolderProblem(files, "the post office name", postoffice)) return problem;
    if (auto problem = FolderProblem(files, "the mailbox name", mailboxName)) return problem;
    auto control = [](std::string_view what, std::string_view text) {
        return std::string(what) + " '" + Printable(text) + "' holds a control character";
    };
    if (domain && HoldsControlCharacter(*domain)) return control("the domain", *domain);
    if (HoldsControlCharacter(address)) return control("the address", address);
    if (password && HoldsControlCharacter(*password)) {
        return "the password holds a control character";
    }
    // A Delete line may name the mailbox alone; an address must be one.
    if (domain || address.find('@') != std::string_view::npos) {
        return support::AddressProblem(address);
    }
    return std::nullopt;
}

std::optional<std::string> SharedFolder(const Services& services, const std::string& root,
                                        const std::string& postoffice,
                                        const std::string& mailboxName) {
    if (!platform::IsFullPath(root, services.files.Separator())) return std::nullopt;
    auto clash = [](std::string_view what, const std::string& name, const std::string& held) {
        return std::string("the ") + std::string(what) + " " + Printable(name) +
               " would share the folder of the " + std::string(what) + " " + Printable(held) +
               ": folder names ignore letter case here";
    };
    const std::optional<std::string> heldPostoffice = services.files.HeldName(root, postoffice);
    if (!heldPostoffice) return std::nullopt;
    if (*heldPostoffice != postoffice) return clash("post office", postoffice, *heldPostoffice);
    const std::string mailroot =
        services.files.BuildPath(services.files.BuildPath(root, postoffice), "mailroot");
    const std::optional<std::string> held = services.files.HeldName(mailroot, mailboxName);
    if (held && *held != mailboxName) return clash("mailbox", mailboxName, *held);
    return std::nullopt;
}

std::string InUseMessage(std::string_view mailboxName) {
    return "The " + Str(mailboxName) +
           " mailbox is in use and cannot be deleted. Disable the \r\n"
           "mailbox to make sure it can't be used. You will also need to wait until the current "
           "user disconnects.";
}

bool DomainExists(const Services& services, const std::string& domainName,
                  std::string& postoffice) {
    auto domain = Make(services, kDomainClass);
    domain->SetProperty("AccountName", Str(""));
    domain->SetProperty("DomainName", domainName);
    domain->SetProperty("DomainRedirectionHosts", Str(""));
    domain->SetProperty("DomainRedirectionStatus", std::int16_t{-1});
    domain->SetProperty("Status", std::int16_t{-1});
    if (domain->CallMethod("GetDomain") == 0) return false;
    postoffice = domain->GetProperty("AccountName");
    return true;
}

void CreateDomain(const Services& services, const std::string& domainName,
                  const std::string& postoffice) {
    auto domain = Make(services, kDomainClass);
    domain->SetProperty("AccountName", postoffice);
    domain->SetProperty("DomainName", domainName);
    domain->SetProperty("DomainRedirectionHosts", Str(""));
    domain->SetProperty("DomainRedirectionStatus", std::int16_t{0});
    domain->SetProperty("Status", std::int16_t{1});
    domain->CallMethod("AddDomain");
}

bool MailboxExists(const Services& services, const std::string& mailboxName,
                   const std::string& postoffice) {
    auto mailbox = Make(services, kMailboxClass);
    mailbox->SetProperty("Postoffice", postoffice);
    mailbox->SetProperty("Mailbox", mailboxName);
    mailbox->SetProperty("Limit", std::int16_t{-1});
    mailbox->SetProperty("RedirectAddress", Str(""));
    mailbox->SetProperty("RedirectStatus", std::int16_t{-1});
    mailbox->SetProperty("Status", std::int16_t{-1});
    return mailbox->CallMethod("GetMailbox") != 0;
}

void CreateMailbox(const Services& services, const std::string& postoffice,
                   const std::string& mailboxName, const std::string& password,
                   std::int32_t sizeLimit, const std::string& root, const Value& rights) noexcept {
    ReportingFailures(services, "CreateMailbox:", [&] {
        RefuseUnsafeNames(services, postoffice, mailboxName, "; the mailbox was not created");
        auto login = Make(services, kLoginClass);
        auto mailbox = Make(services, kMailboxClass);

        mailbox->SetProperty("Postoffice", postoffice);
        mailbox->SetProperty("Mailbox", mailboxName);
        mailbox->SetProperty("Limit", sizeLimit);
        mailbox->SetProperty("RedirectAddress", Str(""));
        mailbox->SetProperty("RedirectStatus", std::int16_t{0});
        mailbox->SetProperty("Status", std::int16_t{1});
        mailbox->CallMethod("AddMailbox");

        SetLoginProperties(*login, postoffice, mailboxName, password, rights);
        login->CallMethod("AddLogin");

        MakeFolderTree(services, root, postoffice, mailboxName);
    });
}

void CompleteMailbox(const Services& services, const std::string& postoffice,
                     const std::string& mailboxName, const std::string& root) noexcept {
    ReportingFailures(services, "CreateMailbox:", [&] {
        RefuseUnsafeNames(services, postoffice, mailboxName, "; its folders were not checked");
        MakeFolderTree(services, root, postoffice, mailboxName);
    });
}

bool AddressMapExists(const Services& services, const std::string& address,
                      const std::string& /*postoffice*/) {
    auto map = Make(services, kAddressMapClass);
    map->SetProperty("Account", Str(""));
    map->SetProperty("DestinationAddress", Str(""));
    map->SetProperty("Scope", Str(""));
    map->SetProperty("SourceAddress", AddressMapSource(address));
    return map->CallMethod("GetAddressMap") != 0;
}

void CreateAddressMap(const Services& services, const std::string& destinationType,
                      const std::string& address, const std::string& postoffice,
                      const std::string& mailboxName) {
    auto map = Make(services, kAddressMapClass);
    map->SetProperty("Account", postoffice);
    map->SetProperty("DestinationAddress",
                     AddressMapDestination(destinationType, postoffice, mailboxName));
    map->SetProperty("Scope", Str(""));
    map->SetProperty("SourceAddress", AddressMapSource(address));
    map->CallMethod("AddAddressMap");
}

void DeleteMailbox(const Services& services, const std::string& postoffice,
                   const std::string& mailboxName) noexcept {
    ReportingFailures(services, "", [&] {
        RefuseUnsafeNames(services, postoffice, mailboxName, "; nothing was deleted");
        if (!RemoveMailboxFolder(services, postoffice, mailboxName)) return;
        // The mailbox record goes last: while it is there, MailboxExists still finds the
        // mailbox, so a run stopped part way (killed, or a failure below) removes the rest
        // when it is run again.
        DeleteAddressMap(services, AddressMapDestination(kStoreAndForward, postoffice, mailboxName),
                         postoffice);
        DeleteLogin(services, postoffice, LoginUserName(mailboxName, postoffice));
        auto mailbox = Make(services, kMailboxClass);
        mailbox->SetProperty("Postoffice", postoffice);
        mailbox->SetProperty("Mailbox", mailboxName);
        mailbox->SetProperty("Limit", std::int16_t{0});
        mailbox->SetProperty("RedirectAddress", Str(""));
        mailbox->SetProperty("RedirectStatus", std::int16_t{0});
        mailbox->SetProperty("Size", std::int16_t{0});
        mailbox->CallMethod("RemoveMailbox");
    });
}

void DeleteAddressMap(const Services& services, const std::string& destination,
                      const std::string& postoffice) {
    auto map = Make(services, kAddressMapClass);
    map->SetProperty("Account", postoffice);
    map->SetProperty("DestinationAddress", destination);
    map->SetProperty("Scope", Str(""));
    map->SetProperty("SourceAddress", Str(""));
    map->CallMethod("RemoveAddressMap");
}

void DeleteLogin(const Services& services, const std::string& postoffice,
                 const std::string& userName) {
    auto login = Make(services, kLoginClass);
    login->SetProperty("Account", postoffice);
    login->SetProperty("Password", Str(""));
    login->SetProperty("Status", std::int16_t{-1});
    login->SetProperty("UserName", userName);
    login->SetProperty("Description", Str(""));
    login->CallMethod("RemoveLogin");
}

}  // namespace seedwell::provisioning
