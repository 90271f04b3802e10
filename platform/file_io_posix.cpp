// The file I/O of StdFileSystem on POSIX: files opened for reading by their descriptors, written
// anew and renamed into place, and compared by device and inode.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "base/error.h"
#include "base/printable.h"
#include "platform/filesystem_std.h"
#include "platform/unique_handle.h"

namespace seedwell::platform {

void FdTraits::Close(int fd) noexcept { ::close(fd); }

namespace {

std::string Reason(int error) { return std::generic_category().message(error); }

class PosixFile : public ByteSource {
  public:
    PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    std::size_t Read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t got = ::read(fd_.get(), buffer, size);
            if (got >= 0) return static_cast<std::size_t>(got);
            if (errno == EINTR) continue;
            throw Error("cannot read the file " + base::Quoted(path_) + ": " + Reason(errno));
        }
    }

  private:
    UniqueFd fd_;
    std::string path_;
};

// The bytes of a new file, written in full; failures name `shown`, the file it is to replace.
class PosixSink : public ByteSink {
  public:
    PosixSink(int fd, const std::string& shown) : fd_(fd), shown_(shown) {}

    void Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
            if (put < 0 && errno == EINTR) continue;
            if (put < 0)
                throw Error("cannot write the file " + base::Quoted(shown_) + ": " + Reason(errno));
            bytes.remove_prefix(static_cast<std::size_t>(put));
        }
    }

  private:
    int fd_;
    const std::string& shown_;
};

// The path of a new entry of a folder, removed unless released.
struct NewEntryTraits {
    static std::string Invalid() noexcept { return {}; }
    static void Close(const std::string& path) noexcept { ::unlink(path.c_str()); }
};
using NewEntry = UniqueHandle<std::string, NewEntryTraits>;

// The folder part of `path` with its final '/' ("/in/" of "/in/list.csv"), empty for a name alone.
std::string FolderOf(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

[[noreturn]] void CannotWrite(const std::string& path, int error) {
    throw Error("cannot write the file " + base::Quoted(path) + ": " + Reason(error));
}

// The path that `path` finally leads to through symbolic links at its last level (links in the
// levels above are left for the system to follow), and what is there: nullopt when nothing is.
std::pair<std::string, std::optional<struct stat>> FinalTarget(const std::string& path) {
    std::string at = path;
    for (int hops = 0;; ++hops) {
        struct stat info {};
        if (::lstat(at.c_str(), &info) != 0) {
            if (errno == ENOENT) return {at, std::nullopt};
            CannotWrite(path, errno);
        }
        if (!S_ISLNK(info.st_mode)) return {at, info};
        if (hops == 40) CannotWrite(path, ELOOP);
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink(at, ec).string();
        if (ec) CannotWrite(path, ec.value());
        at = target.starts_with('/') ? target : FolderOf(at) + target;
    }
}

// Opens `path` for reading (O_NONBLOCK: a FIFO without a peer must not make the open wait) and
// answers its descriptor once it is known to be a regular file.
UniqueFd OpenRegular(const std::string& path) {
    const auto cannot = [&path](int error) {
        return Error("cannot open the file " + base::Quoted(path) + ": " + Reason(error));
    };
    int opened;
    do {
        opened = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) throw cannot(errno);
    UniqueFd fd(opened);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) throw cannot(errno);
    if (!S_ISREG(info.st_mode)) throw Error(base::Quoted(path) + " is not a regular file");
    return fd;
}

}  // namespace

void StdFileSystem::WriteAnew(const std::string& path,
                              const std::function<void(ByteSink&)>& write) {
    const auto cannot = [&path](int error) { CannotWrite(path, error); };
    const auto [target, existing] = FinalTarget(path);
    if (existing) {
        if (!S_ISREG(existing->st_mode)) throw Error(base::Quoted(path) + " is not a regular file");
        // A file that may not be written is not replaced either.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) cannot(errno);
    }
    NewEntry entry;
    UniqueFd fd;
    for (int attempt = 0; !fd; ++attempt) {
        std::string name = FolderOf(target) + TemporaryName();
        const int opened = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (opened >= 0) {
            fd.reset(opened);
            entry.reset(std::move(name));
        } else if ((errno != EEXIST && errno != EINTR) || attempt == 100) {
            cannot(errno);
        }
    }
    // The replacement may be read by whom the file it replaces could be read by, no one else.
    if (existing && ::fchmod(fd.get(), existing->st_mode & 0777) != 0) cannot(errno);
    PosixSink sink(fd.get(), path);
    write(sink);
    if (::fsync(fd.get()) != 0 && errno != EINVAL) cannot(errno);
    if (::close(fd.release()) != 0 && errno != EINTR) cannot(errno);
    if (::rename(entry.get().c_str(), target.c_str()) != 0) cannot(errno);
    entry.release();
    // The new name itself reaches the disk when the folder does; a folder that cannot be
    // flushed still holds it.
    const std::string folder = FolderOf(target).empty() ? "." : FolderOf(target);
    if (UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir) {
        ::fsync(dir.get());
    }
}

bool StdFileSystem::IsSameEntry(const std::string& a, const std::string& b) noexcept {
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::unique_ptr<ByteSource> StdFileSystem::OpenForReading(const std::string& path) {
    return std::make_unique<PosixFile>(OpenRegular(path).release(), path);
}

}  // namespace seedwell::platform
