#include "zeld/users.h"

#include <crypt.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <semaphore>
#include <thread>

namespace zeld {
namespace {

// Hashed for an unknown user when the file holds nobody else.
constexpr const char kDecoyHash[] = "$6$zeldzeldzeldzeld$dDeHF2aVkf1cMHt9G3VKCckNdnRS2DUL6aEW2AW.Qv8FQ0wUDq2sAzZHf6c8nANGHwGEhlHwCV82TnEHfK7cD0";

// A password hash takes tens of milliseconds and, with yescrypt, 16 MiB:
// logins that fail at the rate the connection limit allows may not run
// more of them at once than there are processors.
std::counting_semaphore<>& HashingSlots() {
    static std::counting_semaphore<> slots(std::max<std::ptrdiff_t>(1, std::thread::hardware_concurrency()));
    return slots;
}

bool SameBytes(std::string_view a, std::string_view b) {
    // Compares every byte whatever differs first.
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    const size_t length = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < length; ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace

bool ParseUsers(std::string_view text, std::vector<UserEntry>* users, std::string* error) {
    users->clear();
    size_t lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        const size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos || colon + 1 == line.size()) {
            *error = "line " + std::to_string(lineNumber) + " is not name:hash";
            return false;
        }
        users->push_back(UserEntry{std::string(line.substr(0, colon)), std::string(line.substr(colon + 1))});
    }
    return true;
}

bool LoadUsers(const std::string& path, std::vector<UserEntry>* users, std::string* error) {
    // Close-on-exec: a print or submit command started meanwhile by another
    // session must not inherit the password hashes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int failure = fd < 0 ? errno : 0;
    std::string text;
    char chunk[4096];
    while (failure == 0) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) break;
        if (n > 0) {
            text.append(chunk, static_cast<size_t>(n));
        } else if (errno != EINTR) {
            failure = errno;
        }
    }
    if (fd >= 0) ::close(fd);
    if (failure != 0) {
        *error = "cannot read the users file " + path + ": " + std::strerror(failure);
        return false;
    }
    if (!ParseUsers(text, users, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

bool CheckPassword(const std::vector<UserEntry>& users, std::string_view user, std::string_view password) {
    const UserEntry* entry = nullptr;
    for (const UserEntry& candidate : users) {
        if (candidate.name == user) entry = &candidate;
    }
    // An unknown user is checked against another user's hash (or a decoy):
    // the same work, a certain mismatch.
    const std::string setting = entry != nullptr ? entry->hash : users.empty() ? kDecoyHash : users.front().hash;
    const std::string phrase(password);
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof *data);
    HashingSlots().acquire();
    const char* hashed = ::crypt_r(phrase.c_str(), setting.c_str(), data.get());
    // crypt_r marks a failure with a result starting with "*".
    const bool matches = hashed != nullptr && hashed[0] != '*' && SameBytes(hashed, setting);
    HashingSlots().release();
    return entry != nullptr && matches;
}

std::string HashPassword(std::string_view password) {
    const std::string phrase(password);
    for (const char* prefix : {"$y$", "$6$"}) {
        char random[32];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return "";
        char salt[CRYPT_GENSALT_OUTPUT_SIZE];
        if (::crypt_gensalt_rn(prefix, 0, random, sizeof random, salt, sizeof salt) == nullptr) continue;
        auto data = std::make_unique<crypt_data>();
        std::memset(data.get(), 0, sizeof *data);
        const char* hashed = ::crypt_r(phrase.c_str(), salt, data.get());
        if (hashed != nullptr && hashed[0] != '*') return hashed;
    }
    return "";
}

}  // namespace zeld
