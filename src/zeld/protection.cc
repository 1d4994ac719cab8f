#include "zeld/protection.h"

#include <pwd.h>
#include <sys/stat.h>

#include <vector>

namespace zeld {
namespace {

uint8_t CodeOf(mode_t mode, mode_t read, mode_t write, mode_t execute) {
    uint8_t code = 0;
    if ((mode & read) == 0) code |= kDenyRead;
    if ((mode & write) == 0) code |= kDenyWrite | kDenyDelete;
    if ((mode & execute) == 0) code |= kDenyExecute;
    return code;
}

mode_t Apply(mode_t mode, uint8_t code, mode_t read, mode_t write, mode_t execute) {
    mode &= ~(read | write | execute);
    if ((code & kDenyRead) == 0) mode |= read;
    if ((code & kDenyWrite) == 0) mode |= write;
    if ((code & kDenyExecute) == 0) mode |= execute;
    return mode;
}

}  // namespace

AccessCodes CodesForMode(mode_t mode) {
    AccessCodes codes;
    codes.owner = CodeOf(mode, S_IRUSR, S_IWUSR, S_IXUSR);
    codes.system = codes.owner;
    codes.group = CodeOf(mode, S_IRGRP, S_IWGRP, S_IXGRP);
    codes.world = CodeOf(mode, S_IROTH, S_IWOTH, S_IXOTH);
    return codes;
}

mode_t ModeForCodes(mode_t current, uint8_t menu, const AccessCodes& codes) {
    mode_t mode = current & 07777;
    if ((menu & 0x04) != 0) mode = Apply(mode, codes.owner, S_IRUSR, S_IWUSR, S_IXUSR);
    if ((menu & 0x08) != 0) mode = Apply(mode, codes.group, S_IRGRP, S_IWGRP, S_IXGRP);
    if ((menu & 0x10) != 0) mode = Apply(mode, codes.world, S_IROTH, S_IWOTH, S_IXOTH);
    return mode;
}

std::string OwnerName(uid_t owner) {
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getpwuid_r(owner, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return found->pw_name;
    }
    return std::to_string(owner);
}

}  // namespace zeld
