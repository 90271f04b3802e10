#pragma once

// What a file system's paths mean, by their letter alone: the separator, the full path, the join
// of a folder and a name, and the names and paths a system would read as something else. Each
// system's rules are one small value, compiled and tested on every platform, so that the real
// file systems and the fakes standing for them follow the same rules.

#include <optional>
#include <string>
#include <string_view>

namespace seedwell::base {

/// The path and name rules of POSIX or of Windows.
class PathRules {
  public:
    enum class System { kPosix, kWindows };

    constexpr explicit PathRules(System system) noexcept : system_(system) {}

    /// The folder separator: '\\' on Windows, '/' on POSIX.
    char Separator() const noexcept { return system_ == System::kWindows ? '\\' : '/'; }

    /// True when `path` names a folder from the top of the file system rather than from the
    /// working folder: on Windows an ASCII drive letter followed by ":\\" (or ":/"), or a share
    /// "\\\\server\\share" with both names non-empty; on POSIX a path that begins with '/'. Empty
    /// text is never a full path.
    bool IsFullPath(std::string_view path) const noexcept;

    /// `dir`, one separator, `name`; no second separator when `dir` already ends in one; just
    /// `name` when `dir` is empty. Nothing is normalised.
    std::string BuildPath(std::string_view dir, std::string_view name) const;

    /// Why the system cannot hold `name` as one folder name by its letter, beyond what every
    /// system refuses (the folder-name rules of the import file); nullopt when it can. Windows
    /// drops a dot or blank at the end, reads "a:b" as a stream of "a", refuses * ? " < > | and
    /// control characters, and reads a device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to
    /// LPT9, also with an extension) as the device in every folder; POSIX holds every such name.
    /// `what` names the name in the description ("the mailbox name"). Throws only for lack of
    /// memory.
    std::optional<std::string> NameProblem(std::string_view what, std::string_view name) const;

    /// Why `path` must not be used, as it would name something other than what it says, or
    /// nullopt when it may: a NUL byte anywhere ("the path holds a NUL byte"); on Windows also a
    /// level that NameProblem refuses, except in paths "\\\\?\\..." (taken literally) and
    /// "\\\\.\\..." (devices named on purpose). Throws only for lack of memory.
    std::optional<std::string> PathProblem(std::string_view path) const;

  private:
    System system_;
};

inline constexpr PathRules kPosixRules{PathRules::System::kPosix};
inline constexpr PathRules kWindowsRules{PathRules::System::kWindows};

/// The rules of the system this program is built for.
#ifdef _WIN32
inline constexpr PathRules kSystemRules = kWindowsRules;
#else
inline constexpr PathRules kSystemRules = kPosixRules;
#endif

}  // namespace seedwell::base
