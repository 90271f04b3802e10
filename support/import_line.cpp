#include "support/import_line.h"

#include <algorithm>
#include <initializer_list>

#include "base/ascii.h"
#include "base/printable.h"
#include "base/unicode.h"
#include "support/fields.h"
#include "support/line_checks.h"
#include "support/names.h"

namespace seedwell::support {
namespace {

using Problem = std::optional<std::string>;

constexpr std::string_view kImportHeader = "postoffice,emailaddress,password";

bool IsHeader(std::string_view line, std::initializer_list<std::string_view> headers) {
    return std::any_of(headers.begin(), headers.end(), [line](std::string_view header) {
        return base::EqualsIgnoringCase(line, header);
    });
}

// The first of `problems` found, in order.
Problem First(std::initializer_list<Problem> problems) {
    for (const Problem& problem : problems) {
        if (problem) return problem;
    }
    return std::nullopt;
}

// Why `name` cannot be one folder name here: the rule every platform shares, then the file
// system's. A name that holds another export's separator is not shown: the file system names
// a name as the checks do, and where it shows it otherwise its description is replaced.
Problem FolderProblem(const platform::FileSystem& files, std::string_view what,
                      std::string_view name) {
    const bool hidden = HoldsOtherSeparator(name);
    if (Problem problem = FolderNameProblem(what, name, !hidden)) return problem;
    Problem problem = files.NameProblem(what, name);
    if (!problem || !hidden) return problem;
    const std::string shown = base::Printable(name);
    const std::string quoted = " " + base::Quoted(name);
    if (const std::size_t at = problem->find(quoted); at != std::string::npos) {
        problem->erase(at, quoted.size());
    }
    if (problem->find(shown) != std::string::npos) {
        return std::string(what) + " cannot be a folder name on this system";
    }
    return problem;
}

Problem ControlProblem(std::string_view what, std::string_view field) {
    if (!base::HoldsControlCharacter(field)) return std::nullopt;
    return NamedField(what, field) + " holds a control or format character";
}

Problem PostofficeProblem(const platform::FileSystem& files, std::string_view postoffice) {
    if (postoffice.empty()) return "the post office is empty";
    return First({FieldSeparatorProblem("the post office", postoffice),
                  BlankProblem("the post office", postoffice),
                  QuoteProblem("the post office", postoffice),
                  FolderProblem(files, "the post office name", postoffice)});
}

// The address of an Import line, which gives its domain, or of a Delete line, which gives none
// and may name the mailbox alone.
Problem AddressFieldProblem(const platform::FileSystem& files, std::string_view address,
                            std::string_view mailboxName, std::optional<std::string_view> domain) {
    if (domain && address.empty()) return "the address is empty";
    if (Problem problem = First({BlankProblem("the address", address),
                                 BlankProblem("the mailbox name", mailboxName),
                                 domain ? BlankProblem("the domain", *domain) : std::nullopt,
                                 QuoteProblem("the address", address)})) {
        return problem;
    }
    const bool isAddress = domain || address.find('@') != std::string_view::npos;
    // Without its one "@" between two parts, the address rule says best what is missing.
    const std::size_t at = address.find('@');
    if (isAddress && (std::count(address.begin(), address.end(), '@') != 1 || at == 0 ||
                      at + 1 == address.size())) {
        return AddressProblem(address);
    }
    return First({FolderProblem(files, "the mailbox name", mailboxName),
                  domain ? ControlProblem("the domain", *domain) : std::nullopt,
                  ControlProblem("the address", address),
                  isAddress ? AddressProblem(address) : std::nullopt});
}

// True when the UTF-8 `text` holds a control character: C0, DEL or C1.
bool HoldsCc(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto [code, length] = base::DecodeUtf8(text, at);
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) return true;
        at += length;
    }
    return false;
}

// A password is never shown, so only what no login prompt could take is refused: a control
// character. Format characters (a joiner in an emoji) are kept as typed.
Problem PasswordProblem(std::string_view password) {
    if (Problem problem = PasswordQuoteProblem(password)) return problem;
    if (HoldsCc(password)) return "the password holds a control character";
    if (password.empty()) return "the password is empty";
    return std::nullopt;
}

// The field for the boxes and the list: as it stands, unless it failed its check and may hold
// the rest of its line.
std::string Shown(const std::string& field, const Problem& problem) {
    return problem && HoldsOtherSeparator(field) ? std::string() : field;
}

}  // namespace

std::optional<ImportLine> TakeImportLine(const platform::FileSystem& files, std::string_view line) {
    if (line.empty() || IsHeader(line, {kImportHeader})) return std::nullopt;
    ImportLine taken;
    if ((taken.problem = SeparatorProblem(line))) return taken;
    taken.postoffice = GetField(line, ",", 1);
    taken.address = GetField(line, ",", 2);
    taken.mailboxName = GetField(taken.address, "@", 1);
    taken.domain = GetField(taken.address, "@", 2);
    taken.password = GetField(line, ",", 3);
    const Problem postoffice = PostofficeProblem(files, taken.postoffice);
    const Problem address =
        AddressFieldProblem(files, taken.address, taken.mailboxName, taken.domain);
    taken.shownPostoffice = Shown(taken.postoffice, postoffice);
    taken.shownAddress = Shown(taken.address, address);
    taken.problem = First({postoffice, address, PasswordProblem(taken.password)});
    return taken;
}

std::optional<DeleteLine> TakeDeleteLine(const platform::FileSystem& files, std::string_view line) {
    if (line.empty() ||
        IsHeader(line, {kImportHeader, "postoffice,emailaddress", "postoffice,mailbox"})) {
        return std::nullopt;
    }
    DeleteLine taken;
    if ((taken.problem = SeparatorProblem(line))) return taken;
    taken.postoffice = GetField(line, ",", 1);
    taken.address = GetField(line, ",", 2);
    taken.mailboxName = GetField(taken.address, "@", 1);
    const Problem postoffice = PostofficeProblem(files, taken.postoffice);
    const Problem address =
        AddressFieldProblem(files, taken.address, taken.mailboxName, std::nullopt);
    taken.shownPostoffice = Shown(taken.postoffice, postoffice);
    taken.shownAddress = Shown(taken.address, address);
    taken.problem = First({postoffice, address});
    return taken;
}

}  // namespace seedwell::support
