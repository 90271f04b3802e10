#include "server/install.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "base/error.h"
#include "base/printable.h"
#include "platform/registry.h"
#include "platform/unique_handle.h"
#include "server/regfile.h"
#include "server/schema.h"
#include "server/sqlite.h"
#include "server/store.h"
#include "support/settings.h"

namespace seedwell::server {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;

[[noreturn]] void Fail(const std::string& file, const std::string& why) {
    throw Error("cannot write the registry file " + base::Quoted(file) + ": " + why);
}

std::optional<std::string> ReadFile(const std::string& file) {
    std::error_code error;
    if (fs::status(file, error).type() == fs::file_type::not_found) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Error("cannot read the registry file " + base::Quoted(file) + ": " +
                    std::strerror(errno));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Error("cannot read the registry file " + base::Quoted(file));
    return bytes;
}

void WriteAtomically(const std::string& file, const std::string& bytes, bool existed) {
    const fs::path path(file);
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    struct stat old {};
    const bool keepMode = existed && ::stat(file.c_str(), &old) == 0;
    if (!existed) {
        std::error_code error;
        fs::create_directories(parent, error);
        if (error) Fail(file, "cannot make its folder: " + error.message());
    }
    std::string temp = (parent / ("." + path.filename().string() + ".XXXXXX")).string();
    platform::UniqueFd fd(::mkstemp(temp.data()));
    if (!fd) {
        Fail(file, std::string("cannot make a temporary file beside it: ") + std::strerror(errno));
    }
    auto failWith = [&](const char* what) {
        const std::string reason = std::strerror(errno);
        fd.reset();
        ::unlink(temp.c_str());
        Fail(file, std::string(what) + ": " + reason);
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) failWith("writing failed");
        done += static_cast<std::size_t>(n);
    }
    if (keepMode) {
        if (::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
            // Keeping the owner is best effort; the mode below still applies.
        }
    }
    if (::fchmod(fd.get(), keepMode ? (old.st_mode & 07777) : 0644) != 0) failWith("chmod failed");
    if (::fsync(fd.get()) != 0) failWith("fsync failed");
    if (::close(fd.release()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temp.c_str());
        Fail(file, "closing failed: " + reason);
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temp.c_str());
        Fail(file, "renaming the temporary file failed: " + reason);
    }
    const platform::UniqueFd dir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());
}

void MakeFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw Error("cannot make the folder " + base::Quoted(folder.string()) + ": " +
                    error.message());
}

}  // namespace

void SetRegistryString(const std::string& fileGiven, std::string_view keyPath,
                       std::string_view valueName, std::string_view value) {
    // Write through a link to the file it names, not over the link.
    std::string file = fileGiven;
    std::error_code linkError;
    if (fs::is_symlink(file, linkError)) {
        file = fs::weakly_canonical(file, linkError).string();
        if (linkError) Fail(fileGiven, linkError.message());
    }
    const platform::CodePage& codePage = platform::CodePage::System();
    const std::optional<std::string> old = ReadFile(file);
    const bool utf16 = old && old->starts_with("\xFF\xFE");
    const bool blank =
        !old || old->find_first_not_of(" \t\r\n\0"sv, utf16 ? 2 : 0) == std::string::npos;
    std::optional<RegFileEditor> regFile =
        blank ? RegFileEditor::Empty(utf16, codePage) : RegFileEditor::Parse(*old, codePage);
    if (!regFile) Fail(file, "it is not a registry file (it has no known header line)");
    try {
        regFile->SetString("HKEY_LOCAL_MACHINE\\" + std::string(keyPath), valueName, value);
    } catch (const Error& error) {
        Fail(file, error.what());
    }
    WriteAtomically(file, regFile->Serialise(), old.has_value());
}

void CreateStore(const std::string& path) {
    const platform::UniqueFd fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    // The umask may only narrow the mode; make sure it is exactly owner-only.
    if (fd && ::fchmod(fd.get(), 0600) != 0) {
        throw Error("cannot make the record store " + base::Quoted(path) +
                    " owner-only: " + std::strerror(errno));
    }
    if (!fd && errno != EEXIST) {
        throw Error("cannot create the record store " + base::Quoted(path) + ": " +
                    std::strerror(errno));
    }
    CheckStoreSafety(path);
    Database db(path, Database::Mode::kOpenExisting, sql::kBusyTimeoutMs);
    db.Execute(sql::kCreateSchema, "create the record tables");
}

std::string InstallServer(const std::string& dataDirectory, const std::string& registryFile) {
    if (dataDirectory.empty()) {
        throw Error("cannot install the mail server: no data directory given");
    }
    fs::path directory(dataDirectory);
    if (directory.is_relative()) {
        std::error_code error;
        directory = fs::absolute(directory, error).lexically_normal();
        if (error) {
            throw Error("cannot install the mail server in " + base::Quoted(dataDirectory) + ": " +
                        error.message());
        }
    }
    const std::string dataDir = directory.string();
    // Only the server's own user may put a store in Config/, whatever the umask.
    const fs::path config = fs::path(dataDir) / "Config";
    MakeFolder(config);
    if (::chmod(config.c_str(), 0700) != 0) {
        throw Error("cannot make the folder " + base::Quoted(config.string()) +
                    " owner-only: " + std::strerror(errno));
    }
    MakeFolder(fs::path(dataDir) / "Postoffices");
    CreateStore(StorePathFor(dataDir));
    SetRegistryString(registryFile, support::kServerKeyPath, support::kDataDirectoryValueName,
                      dataDir);
    return dataDir;
}

bool AddPostoffice(const std::string& dataDirectory, std::string_view name) {
    Store store(StorePathFor(dataDirectory));
    return store.AddPostoffice(name);
}

}  // namespace seedwell::server
