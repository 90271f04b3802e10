#pragma once

// A line of the import file taken apart into the fields a run uses, with why the run must pass
// it over, if it must (support/line_checks.h). Nothing is looked up: the checks read the line
// and the file system's name rules alone.

#include <optional>
#include <string>
#include <string_view>

#include "platform/filesystem.h"

namespace seedwell::support {

/// One line of an Import file, `postoffice,emailaddress,password`, taken apart.
struct ImportLine {
    /// The fields as the file holds them (fields after the third are ignored); the mailbox name
    /// and the domain are the parts of the address before and after its "@".
    std::string postoffice, address, mailboxName, domain, password;
    /// The post office and the address for the boxes and the list of lines: as the file holds
    /// them, or empty for a field that failed its check and holds a semicolon, a tab, a blank or
    /// a vertical bar (HoldsOtherSeparator), as it may then hold the rest of the line.
    std::string shownPostoffice, shownAddress;
    /// Why the run passes the line over, or nullopt when it can use it. It names the field and
    /// what is wrong with it, and never shows the password nor a field that is not shown above.
    std::optional<std::string> problem;
};

/// `line` taken apart, or nullopt for a line that the run passes over silently: an empty line,
/// or the header `postoffice,emailaddress,password` in any ASCII letter case. Every other line
/// either names a mailbox or carries its problem, the first found of: the line's separators
/// (SeparatorProblem); the post office: empty, holding a semicolon or a vertical bar, a blank at
/// an edge, a double quote, no one folder name (FolderNameProblem, then `files`' NameProblem);
/// the address: empty, a blank at the edge of it, of its mailbox name or of its domain, a double
/// quote, no single "@" between a mailbox name and a domain, a mailbox name that is no one
/// folder name, a control or format character in the domain or the address, then the rest of
/// AddressProblem; the password: beginning with a double quote, holding a control character
/// (format characters are kept), empty (it would make a login that anyone can open). Throws only
/// for lack of memory.
std::optional<ImportLine> TakeImportLine(const platform::FileSystem& files, std::string_view line);

/// One line of a Delete file, `postoffice,emailaddress` or `postoffice,mailbox`, taken apart.
struct DeleteLine {
    /// The fields as the file holds them (fields after the second are ignored); the mailbox
    /// name is the address's part before its "@", or the whole field when it holds none.
    std::string postoffice, address, mailboxName;
    /// As ImportLine's.
    std::string shownPostoffice, shownAddress;
    /// As ImportLine's.
    std::optional<std::string> problem;
};

/// `line` taken apart as TakeImportLine does, silent also for the headers
/// `postoffice,emailaddress` and `postoffice,mailbox`. There is no domain and no password to
/// check, and the address rule (AddressProblem) applies only to a field that holds an "@": a
/// field without one is a mailbox name.
std::optional<DeleteLine> TakeDeleteLine(const platform::FileSystem& files, std::string_view line);

}  // namespace seedwell::support
