#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "base/error.h"
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
            throw Error("cannot read the file '" + path_ + "': " + Reason(errno));
        }
    }

  private:
    UniqueFd fd_;
    std::string path_;
};

class PosixSink : public ByteSink {
  public:
    PosixSink(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

    void Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t put = ::write(fd_.get(), bytes.data(), bytes.size());
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) throw Error("cannot write the file '" + path_ + "': " + Reason(errno));
            bytes.remove_prefix(static_cast<std::size_t>(put));
        }
    }
    void Finish() override {
        if (::fsync(fd_.get()) != 0 && errno != EINVAL) {
            throw Error("cannot write the file '" + path_ + "': " + Reason(errno));
        }
        if (::close(fd_.release()) != 0 && errno != EINTR) {
            throw Error("cannot write the file '" + path_ + "': " + Reason(errno));
        }
    }

  private:
    UniqueFd fd_;
    std::string path_;
};

}  // namespace

std::unique_ptr<ByteSink> OpenWritableFile(const std::string& path) {
    // O_NONBLOCK: a FIFO without a reader fails at once rather than waiting for one.
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw Error("cannot write the file '" + path + "': " + Reason(errno));
    auto file = std::make_unique<PosixSink>(fd, path);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        throw Error("cannot write the file '" + path + "': " + Reason(errno));
    }
    if (!S_ISREG(info.st_mode)) throw Error("'" + path + "' is not a regular file");
    // Emptied only once it is known to be a regular file.
    if (::ftruncate(fd, 0) != 0 || ::fcntl(fd, F_SETFL, 0) != 0) {
        throw Error("cannot write the file '" + path + "': " + Reason(errno));
    }
    return file;
}

std::unique_ptr<ByteSource> OpenRegularFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO with no writer must not wait; only regular files are read.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw Error("cannot open the file '" + path + "': " + Reason(errno));
    auto file = std::make_unique<PosixFile>(fd, path);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        throw Error("cannot open the file '" + path + "': " + Reason(errno));
    }
    if (!S_ISREG(info.st_mode)) throw Error("'" + path + "' is not a regular file");
    return file;
}

}  // namespace seedwell::platform
