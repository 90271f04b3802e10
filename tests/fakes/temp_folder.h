#pragma once

// A fresh folder under the system's temporary folder, removed with everything in it when the
// test or benchmark ends (read-only entries included); and whole-file reads and writes.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace seedwell::test_support {

/// The bytes of the file at `path`; empty when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Replaces the file at `path` by exactly `bytes`; throws when it cannot.
inline void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

class TempFolder {
  public:
    TempFolder() {
#ifdef _WIN32
        // No mkdtemp on Windows: try fresh random names until one is created.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / ("seedwell-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) path_ = candidate.string();
        }
        if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "seedwell-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
#endif
    }
    ~TempFolder() {
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (!it->is_symlink()) {
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
            }
        }
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

    /// Writes `bytes` exactly to the file `name` in this folder; its path.
    std::string Write(std::string_view name, std::string_view bytes) const {
        const std::string path = *this / name;
        WriteBytes(path, bytes);
        return path;
    }

  private:
    std::string path_;
};

}  // namespace seedwell::test_support
