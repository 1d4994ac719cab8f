// File protection in the protocol's terms (system, owner, group and world,
// each with deny bits read, write, execute, delete), to and from Unix mode
// bits: system mirrors the owner, "no delete" mirrors "no write".
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace zeld {

struct AccessCodes {
    uint8_t system = 0;
    uint8_t owner = 0;
    uint8_t group = 0;
    uint8_t world = 0;
};

constexpr uint8_t kDenyRead = 0x01;
constexpr uint8_t kDenyWrite = 0x02;
constexpr uint8_t kDenyExecute = 0x04;
constexpr uint8_t kDenyDelete = 0x08;

AccessCodes CodesForMode(mode_t mode);

// The mode after a client sets the classes its menu names (PROTMENU bits
// 0x04 owner, 0x08 group, 0x10 world); the system class has no bits of its
// own and is not applied. Bits other than the nine permissions are kept.
mode_t ModeForCodes(mode_t current, uint8_t menu, const AccessCodes& codes);

// The owner's user name, or the number when the system knows no name.
std::string OwnerName(uid_t owner);

}  // namespace zeld
