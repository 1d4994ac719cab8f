// The messages the server receives, decoded with wire::Reader so that no
// decoder reads past a body; a malformed one gives the Status to answer
// (Format or Invalid, with message type and field number).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "wire/fields.h"
#include "zeld/status_codes.h"

namespace zeld {

// Field numbers of the messages the server receives, as Status messages
// name them: each message's own fields from 16 on, in wire order.
namespace field {
constexpr uint8_t kBufsiz = 16, kSyscap = 24;
constexpr uint8_t kAttMenu = 16;  // the rest: the Attributes decoder's table
constexpr uint8_t kAccFunc = 16, kAccOpt = 17, kFileSpec = 18, kFac = 19, kShr = 20, kAccDisplay = 21,
                  kPassword = 22;
constexpr uint8_t kCtlFunc = 16, kCtlMenu = 17, kKey = 19, kRop = 21, kHsh = 22, kCtlDisplay = 23, kUsz = 25;
constexpr uint8_t kConFunc = 16;
constexpr uint8_t kCmpFunc = 16, kCmpFop = 17;
constexpr uint8_t kRecNum = 16;
constexpr uint8_t kDatMenu = 16;
constexpr uint8_t kProtMenu = 16, kOwner = 17, kProtSys = 18;
constexpr uint8_t kNameType = 16, kNameSpec = 17;
}  // namespace field

struct ConfigurationMessage {
    uint16_t bufsiz = 0;
    uint8_t ostype = 0;
    uint8_t filesys = 0;
    uint8_t vernum = 0;
    uint8_t econum = 0;
    uint8_t syscap[12] = {};
    bool Has(unsigned capability) const;
};

// The client's description of the file it opens, creates or prints.
struct AttributesMessage {
    uint8_t dataType = 0;
    uint8_t rfm = 0;
    uint8_t rat = 0;
    uint16_t mrs = 0;
    uint8_t fsz = 0;
    uint8_t fop[4] = {};
    bool image() const { return dataType != 0 && (dataType & 0x01) == 0; }
};

struct AccessMessage {
    uint8_t accfunc = 0;
    uint8_t accopt = 0;
    std::string fileSpec;
    uint8_t fac = 0;
    uint8_t display[2] = {};
    bool hasDisplay = false;
    bool Displays(unsigned bit) const;  // a DISPLAY bit, counted over both bytes
};

struct ControlMessage {
    uint8_t ctlfunc = 0;
    uint8_t menu[2] = {};
    uint8_t rac = 0;
    bool hasRop = false;
    uint16_t usz = 0;
    bool hasUsz = false;
};

struct AccessCompleteMessage {
    uint8_t cmpfunc = 0;
    uint8_t fop[4] = {};
};

struct DataMessage {
    const uint8_t* record = nullptr;
    size_t length = 0;
};

struct DateAndTimeMessage {
    char cdt[19] = {};  // 18 characters and a NUL, empty when absent
    char rdt[19] = {};
};

struct ProtectionMessage {
    uint8_t menu = 0;
    std::string owner;
    uint8_t system = 0;
    uint8_t owner_access = 0;
    uint8_t group = 0;
    uint8_t world = 0;
};

struct NameMessage {
    uint8_t nameType = 0;
    std::string name;
};

StatusValue DecodeConfiguration(wire::Reader body, ConfigurationMessage* message);
StatusValue DecodeAttributes(wire::Reader body, AttributesMessage* message);
StatusValue DecodeAccess(wire::Reader body, AccessMessage* message);
StatusValue DecodeControl(wire::Reader body, ControlMessage* message);
StatusValue DecodeContinueTransfer(wire::Reader body, uint8_t* confunc);
StatusValue DecodeAccessComplete(wire::Reader body, AccessCompleteMessage* message);
StatusValue DecodeData(wire::Reader body, DataMessage* message);
StatusValue DecodeDateAndTime(wire::Reader body, DateAndTimeMessage* message);
StatusValue DecodeProtection(wire::Reader body, ProtectionMessage* message);
StatusValue DecodeName(wire::Reader body, NameMessage* message);

}  // namespace zeld
