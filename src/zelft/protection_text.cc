#include "zelft/protection_text.h"

#include <cstring>

namespace zelft {
namespace {

struct ProtectionClass {
    char letter;
    uint32_t presentBit;
    uint32_t RfaProtectionRecord::*access;
};

constexpr ProtectionClass kClasses[] = {
    {'S', RFA_PROT_SYSTEM, &RfaProtectionRecord::system},
    {'O', RFA_PROT_OWNER_ACCESS, &RfaProtectionRecord::ownerAccess},
    {'G', RFA_PROT_GROUP, &RfaProtectionRecord::group},
    {'W', RFA_PROT_WORLD, &RfaProtectionRecord::world},
};

struct AccessRight {
    char letter;
    uint32_t denyBit;
};

constexpr AccessRight kRights[] = {{'R', 0x01}, {'W', 0x02}, {'E', 0x04}, {'D', 0x08}};
constexpr uint32_t kAllDenied = 0x0F;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

const ProtectionClass* FindClass(char letter) {
    for (const ProtectionClass& entry : kClasses) {
        if (entry.letter == Upper(letter)) return &entry;
    }
    return nullptr;
}

const AccessRight* FindRight(char letter) {
    for (const AccessRight& right : kRights) {
        if (right.letter == Upper(letter)) return &right;
    }
    return nullptr;
}

}  // namespace

std::string FormatProtection(const RfaProtectionRecord& record) {
    std::string text;
    for (const ProtectionClass& entry : kClasses) {
        if ((record.present & entry.presentBit) == 0) continue;
        if (!text.empty()) text += ',';
        text += entry.letter;
        text += ':';
        for (const AccessRight& right : kRights) {
            if ((record.*entry.access & right.denyBit) == 0) text += right.letter;
        }
    }
    return text;
}

bool ParseProtection(std::string_view text, RfaProtectionRecord* record, std::string* error) {
    std::memset(record, 0, sizeof *record);
    if (text.empty()) {
        *error = "empty protection (expected e.g. S:RWED,O:RWED,G:RE,W:)";
        return false;
    }
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (comma != std::string_view::npos && text.empty()) {
            *error = "protection ends with ','";
            return false;
        }
        const ProtectionClass* entry = item.size() >= 2 && item[1] == ':' ? FindClass(item[0]) : nullptr;
        if (entry == nullptr) {
            *error = "bad protection item '" + std::string(item) + "' (expected S:, O:, G: or W: and letters RWED)";
            return false;
        }
        if ((record->present & entry->presentBit) != 0) {
            *error = std::string("protection class ") + entry->letter + " given twice";
            return false;
        }
        uint32_t denied = kAllDenied;
        for (char letter : item.substr(2)) {
            const AccessRight* right = FindRight(letter);
            if (right == nullptr || (denied & right->denyBit) == 0) {
                *error = "bad access letters in '" + std::string(item) + "' (each of R, W, E, D at most once)";
                return false;
            }
            denied &= ~right->denyBit;
        }
        record->present |= entry->presentBit;
        record->*entry->access = denied;
    }
    return true;
}

}  // namespace zelft
