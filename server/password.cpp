#include "server/password.h"

#include <crypt.h>
#include <string.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "base/error.h"

namespace seedwell::server {
namespace {

// Clears the work area (which held the password) before freeing it.
struct CryptArea {
    crypt_data data{};
    ~CryptArea() { explicit_bzero(&data, sizeof data); }
};

}  // namespace

std::string HashPassword(std::string_view password) {
    if (password.find('\0') != std::string_view::npos) {
        throw Error("cannot store the password: it holds a NUL character");
    }
    // crypt refuses longer passphrases with ERANGE, which would read as a meaningless reason.
    if (password.size() >= CRYPT_MAX_PASSPHRASE_SIZE) {
        throw Error("cannot store the password: it is longer than " +
                    std::to_string(CRYPT_MAX_PASSPHRASE_SIZE - 1) + " bytes");
    }
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn("$6$", 0, nullptr, 0, salt, sizeof salt)) {
        throw Error(std::string("cannot make a salt for the password hash: ") +
                    std::strerror(errno));
    }
    auto area = std::make_unique<CryptArea>();
    std::string clear(password);
    const char* hash = crypt_rn(clear.c_str(), salt, &area->data, sizeof area->data);
    explicit_bzero(clear.data(), clear.size());
    if (!hash || hash[0] == '*') {
        throw Error(std::string("cannot hash the password: ") + std::strerror(errno));
    }
    return hash;
}

bool PasswordMatches(std::string_view password, const std::string& hash) {
    if (hash.size() < 3 || hash[0] != '$' || password.find('\0') != std::string_view::npos) {
        return false;
    }
    auto area = std::make_unique<CryptArea>();
    std::string clear(password);
    const char* computed = crypt_rn(clear.c_str(), hash.c_str(), &area->data, sizeof area->data);
    explicit_bzero(clear.data(), clear.size());
    if (!computed || computed[0] == '*') return false;
    const std::size_t length = std::strlen(computed);
    if (length != hash.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < length; ++i) {
        difference |= static_cast<unsigned char>(computed[i] ^ hash[i]);
    }
    return difference == 0;
}

}  // namespace seedwell::server
