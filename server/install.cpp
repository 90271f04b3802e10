#include "server/install.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/error.h"
#include "platform/registry.h"
#include "server/regfile_writer.h"
#include "server/schema.h"
#include "server/sqlite.h"
#include "server/store.h"

namespace seedwell::server {
namespace {

namespace fs = std::filesystem;

void MakeFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        throw Error("cannot make the folder '" + folder.string() + "': " + error.message());
    }
}

}  // namespace

void CreateStore(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        // The umask may only narrow the mode; make sure it is exactly owner-only.
        const bool modeSet = ::fchmod(fd, 0600) == 0;
        const int savedErrno = errno;
        ::close(fd);
        if (!modeSet) {
            throw Error("cannot make the record store '" + path +
                        "' owner-only: " + std::strerror(savedErrno));
        }
    } else if (errno != EEXIST) {
        throw Error("cannot create the record store '" + path + "': " + std::strerror(errno));
    }
    Database db(path, Database::Mode::kOpenExisting, sql::kBusyTimeoutMs);
    db.Execute(sql::kCreateSchema, "create the record tables");
}

std::string InstallServer(const std::string& dataDirectory, const std::string& registryFile) {
    if (dataDirectory.empty())
        throw Error("cannot install the mail server: no data directory given");
    fs::path directory(dataDirectory);
    if (directory.is_relative()) {
        std::error_code error;
        directory = fs::absolute(directory, error).lexically_normal();
        if (error) {
            throw Error("cannot install the mail server in '" + dataDirectory +
                        "': " + error.message());
        }
    }
    const std::string dataDir = directory.string();
    MakeFolder(fs::path(dataDir) / "Config");
    MakeFolder(fs::path(dataDir) / "Postoffices");
    CreateStore(StorePathFor(dataDir));
    SetRegistryString(registryFile, platform::kServerKeyPath, platform::kDataDirectoryValueName,
                      dataDir);
    return dataDir;
}

bool AddPostoffice(const std::string& dataDirectory, std::string_view name) {
    Store store(StorePathFor(dataDirectory));
    return store.AddPostoffice(name);
}

}  // namespace seedwell::server
