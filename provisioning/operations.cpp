#include "provisioning/operations.h"

#include <exception>
#include <memory>

#include "base/error.h"
#include "base/printable.h"
#include "support/admin_classes.h"
#include "support/names.h"
#include "support/settings.h"

namespace seedwell::provisioning {
namespace {

using base::Printable;
using platform::AdminObject;
using platform::Value;
using support::AddressMapClass;
using support::DomainClass;
using support::LoginClass;
using support::MailboxClass;

constexpr std::string_view kCreateMailboxPrefix = "CreateMailbox:";
const std::string kMailroot = "mailroot";
const std::string kInbox = "inbox";

std::string Str(std::string_view text) { return std::string(text); }

// An object of the administration class `Class`, its properties named by their index there.
template <class Class>
class ClassObject {
  public:
    explicit ClassObject(const Services& services)
        : object_(services.objects.CreateObject(Class::kProgId)) {}

    void Set(std::size_t property, const Value& value) {
        object_->SetProperty(Class::kProperties[property].name, value);
    }
    std::string Get(std::size_t property) {
        return object_->GetProperty(Class::kProperties[property].name);
    }
    std::int32_t Call(std::string_view method) { return object_->CallMethod(method); }

  private:
    std::unique_ptr<AdminObject> object_;
};

std::string Describe(const std::exception& failure) {
    std::string description = failure.what();
    return description.empty() ? "an unexpected failure without a description" : description;
}

// A mailbox object naming the mailbox, with the properties every call sets, in the order the
// server receives them: its limit, no redirection of the status given, and `last` set to
// `lastValue` (the status for a lookup or an addition, the size for a removal).
ClassObject<MailboxClass> MailboxObject(const Services& services, const std::string& postoffice,
                                        const std::string& mailboxName, const Value& limit,
                                        std::int16_t redirectStatus, std::size_t last,
                                        std::int16_t lastValue) {
    ClassObject<MailboxClass> mailbox(services);
    mailbox.Set(MailboxClass::kPostoffice, postoffice);
    mailbox.Set(MailboxClass::kMailbox, mailboxName);
    mailbox.Set(MailboxClass::kLimit, limit);
    mailbox.Set(MailboxClass::kRedirectAddress, Str(""));
    mailbox.Set(MailboxClass::kRedirectStatus, redirectStatus);
    mailbox.Set(last, lastValue);
    return mailbox;
}

// Why `name` cannot be one folder name here: the rule every platform shares, then the file
// system's own.
std::optional<std::string> FolderProblem(const platform::FileSystem& files, std::string_view what,
                                         std::string_view name) {
    if (auto problem = support::FolderNameProblem(what, name)) return problem;
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

// Thrown by MakeFolderTree when a folder cannot be made because the root has gone.
struct RootGone {
    MailboxWork::Outcome outcome;
};

// The four levels of a mailbox's folder tree, each made only when it is missing. Answers
// whether it made any.
bool MakeFolderTree(const Services& services, const std::string& root,
                    const std::string& postoffice, const std::string& mailboxName) {
    switch (CheckRoot(services.files, root)) {
        case RootCheck::kFull:
            break;
        case RootCheck::kEmpty:
            throw Error("the post-office root is empty, so the folders of the mailbox " +
                        base::Quoted(mailboxName) + " were not made");
        case RootCheck::kNotFull:
            throw Error("the post-office root " + base::Quoted(root) +
                        " is not a full path, so the folders of the mailbox " +
                        base::Quoted(mailboxName) + " were not made");
    }
    // One separator follows the root as typed, even a root that ends in one.
    std::string folder = root + services.files.Separator();
    bool made = false;
    for (const std::string* level : {&postoffice, &kMailroot, &mailboxName, &kInbox}) {
        folder = services.files.BuildPath(folder, *level);
        if (services.files.FolderExists(folder)) continue;
        try {
            services.files.CreateFolder(folder);
            made = true;
        } catch (const std::exception&) {
            // Another run may have made it since the check; then nothing is missing.
            if (services.files.FolderExists(folder)) continue;
            // A root that went away during the run fails every line after this one alike.
            if (!services.files.FolderExists(root)) {
                throw RootGone(services.files.PathExists(root)
                                   ? MailboxWork::Outcome::kRootNotFolder
                                   : MailboxWork::Outcome::kRootMissing);
            }
            throw;
        }
    }
    return made;
}

// Makes the folder tree of the mailbox, answering how that went.
MailboxWork FolderWork(const Services& services, const std::string& root,
                       const std::string& postoffice, const std::string& mailboxName) {
    try {
        MailboxWork work;
        work.madeFolders = MakeFolderTree(services, root, postoffice, mailboxName);
        return work;
    } catch (const RootGone& gone) {
        return {gone.outcome, std::nullopt};
    } catch (const std::exception& failure) {
        return {MailboxWork::Outcome::kFoldersMissing,
                std::string(kCreateMailboxPrefix) + Describe(failure)};
    }
}

// Runs `steps`, which answer what stopped them or nullopt; a failure among them is answered as
// `prefix` followed by its description.
template <typename Steps>
std::optional<std::string> Reporting(std::string_view prefix, Steps steps) noexcept {
    try {
        try {
            return steps();
        } catch (const std::exception& failure) {
            return std::string(prefix) + Describe(failure);
        } catch (...) {
            return std::string(prefix) + "an unexpected failure without a description";
        }
    } catch (...) {
        return "out of memory";  // short enough to need no memory of its own
    }
}

// The data directory's post-office root, below which every level down to a mailbox's folder
// must be a real folder.
std::string PostofficeRoot(const Services& services, const std::string& mailboxName) {
    const std::string dataDirectory =
        support::GetDataDirectory(services.registry, services.codePage);
    switch (CheckRoot(services.files, dataDirectory)) {
        case RootCheck::kFull:
            break;
        case RootCheck::kEmpty:
            throw Error("the folder of the mailbox " + base::Quoted(mailboxName) +
                        " cannot be found: the mail server's data directory is not in the "
                        "registry; nothing was deleted");
        case RootCheck::kNotFull:
            throw Error("the folder of the mailbox " + base::Quoted(mailboxName) +
                        " cannot be found: the mail server's data directory " +
                        base::Quoted(dataDirectory) + " is not a full path; nothing was deleted");
    }
    return support::PostofficeRoot(services.files, dataDirectory);
}

// What could not be removed and why, below the in-use message. Names of the mailbox's files
// are the file system's, shown printable.
std::string WhatStayed(const std::string& detail) {
    return "\r\n\r\nWhat stopped it: " + Printable(detail) + ".";
}

// Removes the mailbox's own folder (post office, "mailroot", mailbox name below the post-office
// root). Answers why the mailbox is to stay as it is, or kDeleted when it may go.
MailboxDeletion RemoveMailboxFolder(const Services& services, const std::string& postoffice,
                                    const std::string& mailboxName) {
    using Kept = MailboxDeletion::Outcome;
    using Outcome = platform::FolderRemoval::Outcome;
    const std::string root = PostofficeRoot(services, mailboxName);
    // A name the file system refuses throws, and is shown by its description.
    // "mailroot" names no mailbox: held in other letters, it is still the same folder.
    const platform::FolderRemoval removal = services.files.RemoveFolderBelow(
        root, {postoffice, kMailroot, mailboxName}, true, {true, false, true});
    switch (removal.outcome) {
        case Outcome::kRemoved:
        case Outcome::kMissing:
            break;
        case Outcome::kLink:
            return {Kept::kKept, "The " + mailboxName +
                                     " mailbox was not deleted: " + removal.detail + " is a link."};
        case Outcome::kOtherLetters:
            return {Kept::kKept, "The " + mailboxName + " mailbox was not deleted: its folder " +
                                     removal.detail +
                                     " is named in other letters and may be another mailbox's."};
        case Outcome::kInUse:
            return {Kept::kInUse, InUseMessage(mailboxName) + WhatStayed(removal.detail)};
        case Outcome::kPartlyRemoved:
            return {Kept::kInUse, InUseMessage(mailboxName) +
                                      " Some of its files were already removed." +
                                      WhatStayed(removal.detail)};
    }
    return {};
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

RootCheck CheckRoot(const platform::FileSystem& files, std::string_view root) noexcept {
    if (root.empty()) return RootCheck::kEmpty;
    return files.IsFullPath(root) ? RootCheck::kFull : RootCheck::kNotFull;
}

std::optional<std::string> SharedFolder(const Services& services, const std::string& root,
                                        const std::string& postoffice,
                                        const std::string& mailboxName) {
    if (CheckRoot(services.files, root) != RootCheck::kFull) return std::nullopt;
    auto clash = [](std::string_view what, const std::string& name, const std::string& held) {
        return std::string("the ") + std::string(what) + " " + Printable(name) +
               " would share the folder of the " + std::string(what) + " " + Printable(held) +
               ": folder names ignore letter case here";
    };
    const std::optional<std::string> heldPostoffice = services.files.HeldName(root, postoffice);
    if (!heldPostoffice) return std::nullopt;
    if (*heldPostoffice != postoffice) return clash("post office", postoffice, *heldPostoffice);
    const std::string mailroot =
        services.files.BuildPath(services.files.BuildPath(root, postoffice), kMailroot);
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
    ClassObject<DomainClass> domain(services);
    domain.Set(DomainClass::kAccountName, Str(""));
    domain.Set(DomainClass::kDomainName, domainName);
    domain.Set(DomainClass::kRedirectionHosts, Str(""));
    domain.Set(DomainClass::kRedirectionStatus, std::int16_t{-1});
    domain.Set(DomainClass::kStatus, std::int16_t{-1});
    if (domain.Call(DomainClass::kGetDomain) == 0) return false;
    postoffice = domain.Get(DomainClass::kAccountName);
    return true;
}

void CreateDomain(const Services& services, const std::string& domainName,
                  const std::string& postoffice) {
    ClassObject<DomainClass> domain(services);
    domain.Set(DomainClass::kAccountName, postoffice);
    domain.Set(DomainClass::kDomainName, domainName);
    domain.Set(DomainClass::kRedirectionHosts, Str(""));
    domain.Set(DomainClass::kRedirectionStatus, std::int16_t{0});
    domain.Set(DomainClass::kStatus, std::int16_t{1});
    domain.Call(DomainClass::kAddDomain);
}

bool MailboxExists(const Services& services, const std::string& mailboxName,
                   const std::string& postoffice) {
    return MailboxObject(services, postoffice, mailboxName, std::int16_t{-1}, -1,
                         MailboxClass::kStatus, -1)
               .Call(MailboxClass::kGetMailbox) != 0;
}

MailboxWork CreateMailbox(const Services& services, const std::string& postoffice,
                          const std::string& mailboxName, const std::string& password,
                          std::int32_t sizeLimit, const std::string& root,
                          const Value& rights) noexcept {
    using Outcome = MailboxWork::Outcome;
    MailboxWork work;
    work.failure = Reporting(kCreateMailboxPrefix, [&]() -> std::optional<std::string> {
        RefuseUnsafeNames(services, postoffice, mailboxName, "; the mailbox was not created");
        ClassObject<LoginClass> login(services);
        auto mailbox = MailboxObject(services, postoffice, mailboxName, sizeLimit, 0,
                                     MailboxClass::kStatus, 1);
        mailbox.Call(MailboxClass::kAddMailbox);

        try {
            login.Set(LoginClass::kAccount, postoffice);
            login.Set(LoginClass::kDescription, Str(""));
            login.Set(LoginClass::kPassword, password);
            login.Set(LoginClass::kRights, rights);
            login.Set(LoginClass::kStatus, std::int16_t{1});
            login.Set(LoginClass::kUserName, LoginUserName(mailboxName, postoffice));
            login.Call(LoginClass::kAddLogin);
        } catch (const std::exception& failure) {
            // A record without its login would be found by every later run, which adds no
            // login to a mailbox that exists: the record goes again, and a corrected line
            // makes all of it.
            const std::string loginFailure = Describe(failure);
            try {
                MailboxObject(services, postoffice, mailboxName, std::int16_t{0}, 0,
                              MailboxClass::kSize, 0)
                    .Call(MailboxClass::kRemoveMailbox);
            } catch (const std::exception& removal) {
                work.outcome = Outcome::kLeftWithoutLogin;
                return std::string(kCreateMailboxPrefix) + loginFailure +
                       "; the mailbox was not made, but its record could not be removed again (" +
                       Describe(removal) + "), so the mailbox " + base::Quoted(mailboxName) +
                       " of the post office " + base::Quoted(postoffice) +
                       " is left without a login: delete it, then run the line again";
            }
            work.outcome = Outcome::kNotMade;
            return std::string(kCreateMailboxPrefix) + loginFailure + "; the mailbox was not made";
        }
        work = FolderWork(services, root, postoffice, mailboxName);
        return work.failure;
    });
    // A failure before the login (the names, the record) leaves nothing made.
    if (work.failure && work.outcome == Outcome::kDone) work.outcome = Outcome::kNotMade;
    return work;
}

MailboxWork CompleteMailbox(const Services& services, const std::string& postoffice,
                            const std::string& mailboxName, const std::string& root) noexcept {
    MailboxWork work;
    work.failure = Reporting(kCreateMailboxPrefix, [&]() -> std::optional<std::string> {
        RefuseUnsafeNames(services, postoffice, mailboxName, "; its folders were not checked");
        work = FolderWork(services, root, postoffice, mailboxName);
        return work.failure;
    });
    if (work.failure && work.outcome == MailboxWork::Outcome::kDone) {
        work.outcome = MailboxWork::Outcome::kFoldersMissing;
    }
    return work;
}

bool AddressMapExists(const Services& services, const std::string& address,
                      const std::string& /*postoffice*/) {
    ClassObject<AddressMapClass> map(services);
    map.Set(AddressMapClass::kAccount, Str(""));
    map.Set(AddressMapClass::kDestinationAddress, Str(""));
    map.Set(AddressMapClass::kScope, Str(""));
    map.Set(AddressMapClass::kSourceAddress, AddressMapSource(address));
    return map.Call(AddressMapClass::kGetAddressMap) != 0;
}

void CreateAddressMap(const Services& services, const std::string& destinationType,
                      const std::string& address, const std::string& postoffice,
                      const std::string& mailboxName) {
    ClassObject<AddressMapClass> map(services);
    map.Set(AddressMapClass::kAccount, postoffice);
    map.Set(AddressMapClass::kDestinationAddress,
            AddressMapDestination(destinationType, postoffice, mailboxName));
    map.Set(AddressMapClass::kScope, Str(""));
    map.Set(AddressMapClass::kSourceAddress, AddressMapSource(address));
    map.Call(AddressMapClass::kAddAddressMap);
}

MailboxDeletion DeleteMailbox(const Services& services, const std::string& postoffice,
                              const std::string& mailboxName) noexcept {
    MailboxDeletion deletion;
    deletion.failure = Reporting("", [&]() -> std::optional<std::string> {
        RefuseUnsafeNames(services, postoffice, mailboxName, "; nothing was deleted");
        deletion = RemoveMailboxFolder(services, postoffice, mailboxName);
        if (deletion.failure) return deletion.failure;
        // The mailbox record goes last: while it is there, MailboxExists still finds the
        // mailbox, so a run stopped part way (killed, or a failure below) removes the rest
        // when it is run again.
        DeleteAddressMap(services, AddressMapDestination(kStoreAndForward, postoffice, mailboxName),
                         postoffice);
        DeleteLogin(services, postoffice, LoginUserName(mailboxName, postoffice));
        MailboxObject(services, postoffice, mailboxName, std::int16_t{0}, 0, MailboxClass::kSize, 0)
            .Call(MailboxClass::kRemoveMailbox);
        return std::nullopt;
    });
    if (deletion.failure && deletion.outcome == MailboxDeletion::Outcome::kDeleted) {
        deletion.outcome = MailboxDeletion::Outcome::kKept;
    }
    return deletion;
}

void DeleteAddressMap(const Services& services, const std::string& destination,
                      const std::string& postoffice) {
    ClassObject<AddressMapClass> map(services);
    map.Set(AddressMapClass::kAccount, postoffice);
    map.Set(AddressMapClass::kDestinationAddress, destination);
    map.Set(AddressMapClass::kScope, Str(""));
    map.Set(AddressMapClass::kSourceAddress, Str(""));
    map.Call(AddressMapClass::kRemoveAddressMap);
}

void DeleteLogin(const Services& services, const std::string& postoffice,
                 const std::string& userName) {
    ClassObject<LoginClass> login(services);
    login.Set(LoginClass::kAccount, postoffice);
    login.Set(LoginClass::kPassword, Str(""));
    login.Set(LoginClass::kStatus, std::int16_t{-1});
    login.Set(LoginClass::kUserName, userName);
    login.Set(LoginClass::kDescription, Str(""));
    login.Call(LoginClass::kRemoveLogin);
}

}  // namespace seedwell::provisioning
