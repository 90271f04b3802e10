#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/objects.h"
#include "platform/registry.h"

namespace seedwell::provisioning {

/// What the operations reach outside themselves. Every reference must outlive the call.
struct Services {
    platform::ObjectFactory& objects;
    platform::FileSystem& files;
    platform::Registry& registry;
    const platform::CodePage& codePage;
};

/// The destination type of every address map the program makes and removes.
inline constexpr std::string_view kStoreAndForward = "SF";

/// mailbox name, "@", post office.
std::string LoginUserName(std::string_view mailboxName, std::string_view postoffice);
/// "[", destination type, ":", post office, "/", mailbox name, "]".
std::string AddressMapDestination(std::string_view destinationType, std::string_view postoffice,
                                  std::string_view mailboxName);
/// "[SMTP:", address, "]".
std::string AddressMapSource(std::string_view address);

/// Whether `root` can be the post-office root: the rule every check of a root applies.
enum class RootCheck {
    kFull,     ///< the file system takes it as a full path
    kEmpty,    ///< nothing was given
    kNotFull,  ///< not a full path
};
RootCheck CheckRoot(const platform::FileSystem& files, std::string_view root) noexcept;

/// Why a new mailbox must not be made below `root`, or nullopt when it may: where folder names
/// ignore letter case, its post-office folder or its mailbox folder exists in other letters,
/// and so belongs to another post office or mailbox ("the mailbox Kim would share the folder of
/// the mailbox kim: folder names ignore letter case here"). The letters are read from the
/// folders' own entries. nullopt too when `root` is not a full path, which CreateMailbox
/// reports. Throws seedwell::Error when a folder cannot be read.
std::optional<std::string> SharedFolder(const Services& services, const std::string& root,
                                        const std::string& postoffice,
                                        const std::string& mailboxName);

// Lookups and creations. These have no handler of their own: every failure throws
// seedwell::Error to the caller. Each creates its administration object afresh and releases it
// before returning, on every path.

/// True when the domain exists; then `postoffice` holds the post office that owns it.
bool DomainExists(const Services& services, const std::string& domainName, std::string& postoffice);
void CreateDomain(const Services& services, const std::string& domainName,
                  const std::string& postoffice);
/// True when the mailbox exists in the post office.
bool MailboxExists(const Services& services, const std::string& mailboxName,
                   const std::string& postoffice);
/// True when an address map has the address as its source; `postoffice` is not used.
bool AddressMapExists(const Services& services, const std::string& address,
                      const std::string& postoffice);
void CreateAddressMap(const Services& services, const std::string& destinationType,
                      const std::string& address, const std::string& postoffice,
                      const std::string& mailboxName);

/// How CreateMailbox or CompleteMailbox ended.
struct MailboxWork {
    enum class Outcome {
        kDone,              ///< everything asked is there
        kFoldersMissing,    ///< the records are there, some folders are not; `failure` tells why
        kNotMade,           ///< the login could not be added and the mailbox record it was to go
                            ///< with was removed again: nothing of the mailbox is left
        kLeftWithoutLogin,  ///< as kNotMade, but the record could not be removed either
        kRootMissing,       ///< a folder could not be made: the root no longer exists
        kRootNotFolder,     ///< a folder could not be made: the root is no longer a folder
    };
    Outcome outcome = Outcome::kDone;
    /// What went wrong, as the text of a message box without an icon ("CreateMailbox:" and the
    /// description); nullopt for kDone and for the two root outcomes, which end the run.
    std::optional<std::string> failure;
    /// True when a folder was made: for an existing mailbox, a folder an earlier run left unmade.
    bool madeFolders = false;
    /// True when the line may go on to its address map: the mailbox record is there.
    bool LineGoesOn() const noexcept {
        return outcome == Outcome::kDone || outcome == Outcome::kFoldersMissing;
    }
};

/// Adds the mailbox record, its login and its four folder levels below `root`, which must be a
/// full path. A login that cannot be added takes the record just added with it, so that no
/// mailbox is left that a later run would find and never give a login (kNotMade; should that
/// removal fail too, kLeftWithoutLogin names the record left behind). A folder that cannot be
/// made because the root itself has gone answers kRootMissing or kRootNotFolder. Never throws.
[[nodiscard]] MailboxWork CreateMailbox(const Services& services, const std::string& postoffice,
                                        const std::string& mailboxName, const std::string& password,
                                        std::int32_t sizeLimit, const std::string& root,
                                        const platform::Value& rights) noexcept;

/// For a mailbox that exists: makes sure its four folder levels below `root` exist, so that a
/// mailbox whose folders an earlier run left unmade is completed. Its login is left alone: it
/// cannot be looked up, and adding it again could fail or change its password. Answers as
/// CreateMailbox does (kDone, kFoldersMissing or a root outcome); never throws.
[[nodiscard]] MailboxWork CompleteMailbox(const Services& services, const std::string& postoffice,
                                          const std::string& mailboxName,
                                          const std::string& root) noexcept;

// Removals.

/// How DeleteMailbox ended.
struct MailboxDeletion {
    enum class Outcome {
        kDeleted,  ///< its folder and every record went
        kInUse,    ///< its folder could not be removed whole; every record stays
        kKept,     ///< refused or failed before its records went; `failure` tells
    };
    Outcome outcome = Outcome::kDeleted;
    /// The message box's text for kInUse and kKept (no icon).
    std::optional<std::string> failure;
};

/// Removes the mailbox's folder below the data directory's post-office root, then its address
/// map, its login and, last, its mailbox record, so that a mailbox whose removal stopped part
/// way is still found, and finished, by the next run. Below the post-office root every level
/// down to the folder must be a real folder: where one is a link, nothing is removed and the
/// message names it. A folder whose tree cannot be removed whole is reported as in use (with a
/// note when some of it was removed all the same, and what stopped the removal) and every
/// record stays; any other failure is
/// reported by its description alone and leaves the later steps undone. Names that could widen
/// the removal, and a data directory that is empty or not a full path, are refused before
/// anything is touched. Answers kDeleted when the mailbox is gone, else why it is not, with the
/// text of the message box that tells it (no icon): the in-use message (kInUse), or the link or
/// other-letters message or the failure's description (kKept). Never throws.
[[nodiscard]] MailboxDeletion DeleteMailbox(const Services& services, const std::string& postoffice,
                                            const std::string& mailboxName) noexcept;
/// Removes every address map to `destination` in the post office. Throws on failure.
void DeleteAddressMap(const Services& services, const std::string& destination,
                      const std::string& postoffice);
/// Removes the login `userName` of the post office. Throws on failure.
void DeleteLogin(const Services& services, const std::string& postoffice,
                 const std::string& userName);

/// The in-use message for a mailbox whose folder cannot be removed.
std::string InUseMessage(std::string_view mailboxName);

}  // namespace seedwell::provisioning
