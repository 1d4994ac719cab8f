// The users file: one "name:hash" line per user, the hash in crypt(3)
// format; blank lines and lines starting with "#" are skipped. Passwords
// are checked with crypt_r, and new hashes made for `zeld --hash-password`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zeld {

struct UserEntry {
    std::string name;
    std::string hash;
};

// Reads the file; false with a message when it cannot be read or a line is
// not "name:hash".
bool LoadUsers(const std::string& path, std::vector<UserEntry>* users, std::string* error);
bool ParseUsers(std::string_view text, std::vector<UserEntry>* users, std::string* error);

// Whether `password` is the password of `user`. An unknown user costs as
// much as a known one, so the time taken tells nothing.
bool CheckPassword(const std::vector<UserEntry>& users, std::string_view user, std::string_view password);

// A new hash of `password`: yescrypt, or SHA-512 where yescrypt is missing,
// with a random salt. Empty when no hash can be made.
std::string HashPassword(std::string_view password);

}  // namespace zeld
