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

namespace {

// Opens `path` with `flags` (O_NONBLOCK among them: a FIFO without a peer must not make the open
// wait) and answers its descriptor once it is known to be a regular file. `cannot` begins the
// description of a failure ("cannot open the file").
UniqueFd OpenRegular(const std::string& path, int flags, const std::string& cannot) {
    int opened;
    do {
        opened = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    } while (opened < 0 && errno == EINTR);
    if (opened < 0) throw Error(cannot + " '" + path + "': " + Reason(errno));
    UniqueFd fd(opened);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) throw Error(cannot + " '" + path + "': " + Reason(errno));
    if (!S_ISREG(info.st_mode)) throw Error("'" + path + "' is not a regular file");
    return fd;
}

}  // namespace

std::unique_ptr<ByteSink> OpenWritableFile(const std::string& path) {
    UniqueFd fd = OpenRegular(path, O_WRONLY | O_CREAT, "cannot write the file");
    // Emptied only once it is known to be a regular file; written without O_NONBLOCK.
    if (::ftruncate(fd.get(), 0) != 0 || ::fcntl(fd.get(), F_SETFL, 0) != 0) {
        throw Error("cannot write the file '" + path + "': " + Reason(errno));
    }
    return std::make_unique<PosixSink>(fd.release(), path);
}

std::unique_ptr<ByteSource> OpenRegularFile(const std::string& path) {
    return std::make_unique<PosixFile>(
        OpenRegular(path, O_RDONLY, "cannot open the file").release(), path);
}

}  // namespace seedwell::platform
