#include "zel32/api/argument_checks.h"

#include <cstring>

#include "zel32/api/link.h"

bool RfaFitsField(const char* text, size_t size) { return std::memchr(text, '\0', size) != nullptr; }

bool RfaCheckSpecification(char* field, const char* name) {
    if (name == nullptr || !RfaFitsField(name, kNameSize)) return false;
    std::memcpy(field, name, std::strlen(name) + 1);
    return true;
}

bool RfaCheckName(char* field, const char* name) {
    if (name == nullptr || name[0] == '\0') return false;
    return RfaCheckSpecification(field, name);
}

bool RfaCheckFlag(uint32_t* field, uint32_t value) {
    if (value > 1) return false;
    *field = value;
    return true;
}

bool RfaCheckCount(uint16_t* field, uint16_t value) {
    if (value == 0) return false;
    *field = value;
    return true;
}
