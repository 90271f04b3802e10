#pragma once

#include <string_view>

namespace seedwell::platform {

/// True when `path` names a folder from the top of a file system rather than from the working
/// folder. `separator` chooses the platform's rule (FileSystem::Separator()): with '\\' a drive
/// letter followed by ":\" (or ":/"), or a share "\\server\share"; with '/' a path that begins
/// with '/'. Empty text is never a full path. Never throws.
bool IsFullPath(std::string_view path, char separator) noexcept;

}  // namespace seedwell::platform
