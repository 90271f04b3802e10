#include "platform/filesystem_std.h"

#include <cstdint>
#include <filesystem>
#include <random>
#include <system_error>

#include "base/error.h"
#include "base/printable.h"

namespace seedwell::platform {
namespace fs = std::filesystem;

namespace {

fs::path ToPath(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

}  // namespace

FileSystem::Kind StdFileSystem::KindOf(const std::string& path) noexcept {
    std::error_code ec;
    const fs::file_status status = fs::status(ToPath(path), ec);
    if (fs::is_regular_file(status)) return Kind::kFile;
    if (fs::is_directory(status)) return Kind::kFolder;
    return fs::exists(status) ? Kind::kOther : Kind::kNothing;
}

void StdFileSystem::MakeFolder(const std::string& path) {
    std::error_code ec;
    if (!fs::create_directory(ToPath(path), ec) && !ec) {
        ec = std::make_error_code(std::errc::file_exists);
    }
    if (ec) throw Error("cannot create the folder " + base::Quoted(path) + ": " + ec.message());
}

std::string TemporaryName() {
    static thread_local std::mt19937_64 generator{[] {
        std::random_device device;
        return (std::uint64_t{device()} << 32) ^ device();
    }()};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name = ".seedwell-";
    std::uint64_t bits = generator();
    for (int i = 0; i < 16; ++i, bits >>= 4) name += kDigits[bits & 0xF];
    return name + ".tmp";
}

std::unique_ptr<FileSystem> MakeSystemFileSystem() { return std::make_unique<StdFileSystem>(); }

}  // namespace seedwell::platform
