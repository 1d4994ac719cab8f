#include "zel32/protocol/configuration.h"

#include <cstring>
#include <mutex>

#include "zel32/protocol/context.h"
#include "zel32/protocol/field_check.h"

namespace {

std::mutex templateMutex;
constexpr uint8_t kInitialTemplate[kConfigBodySize] = {
    0x00, 0x7E,  // BUFSIZ, replaced by the link's buffer size when sent
    0x11,        // OSTYPE
    0x0C,        // FILESYS
    0x07,        // VERNUM
    0x02,        // ECONUM
    0x00,        // USRNUM
    0x04,        // VORVER
    0x00,        // USRVER
    0xA2, 0x80, 0xD0, 0xF1, 0xAE, 0xAC, 0x80, 0xE4, 0x91, 0x02,  // SYSCAP
};
uint8_t configTemplate[kConfigBodySize] = {};
bool templateLoaded = false;

// Under templateMutex.
uint8_t* Template() {
    if (!templateLoaded) {
        std::memcpy(configTemplate, kInitialTemplate, kConfigBodySize);
        templateLoaded = true;
    }
    return configTemplate;
}

enum Capability : unsigned {
    kCapFileAccess = 5,
    kCapBlocking = 18,
    kCapLen256 = 20,
    kCapChecksum = 21,
    kCapRequired25 = 25,
    kCapProtection = 27,
    kCapPrint = 29,
    kCapSubmit = 30,
    kCapRename = 37,
    kCapRequired40 = 40,
    kCapSetProtection = 44,
};

constexpr size_t kSyscapMax = 10;

}  // namespace

void ZelConfigTemplate(uint8_t out[kConfigBodySize]) {
    std::lock_guard<std::mutex> lock(templateMutex);
    std::memcpy(out, Template(), kConfigBodySize);
}

void ZelResetConfigTemplate() {
    std::lock_guard<std::mutex> lock(templateMutex);
    templateLoaded = false;
}

void ZelRaiseConfigCapabilities(int attempts) {
    std::lock_guard<std::mutex> lock(templateMutex);
    uint8_t* syscap = Template() + kSyscapOffset;
    if (attempts == 1) {
        syscap[3] |= 0xFE;
        syscap[4] |= 0xFB;
        syscap[8] |= 0xEF;
    } else if (attempts == 2) {
        syscap[3] = 0xFF;
    }
}

int ZelEncodeConfiguration(ZelContext* context, wire::Writer& body) {
    uint8_t bytes[kConfigBodySize];
    ZelConfigTemplate(bytes);
    wire::PutU16(bytes, context->bufferSize);
    body.PutBytes(bytes, sizeof bytes);
    return 1;
}

int ZelDecodeConfiguration(ZelContext* context, wire::Reader& body) {
    if (body.remaining() < 10) return ZelUnexpectedMessage(context);
    uint16_t bufsiz = 0;
    body.TakeU16(&bufsiz);
    context->peerBufsiz = bufsiz;
    if (bufsiz != 0) {
        if (bufsiz < 256) return ZelUnexpectedMessage(context);
        if (bufsiz < kBufferSize) context->bufferSize = bufsiz;
    }
    body.TakeByte(&context->peerOstype);
    body.TakeByte(&context->peerFilesys);
    body.TakeByte(&context->peerVernum);
    body.TakeByte(&context->peerEconum);
    body.TakeByte(&context->peerUsrnum);
    body.TakeByte(&context->peerVorver);
    body.TakeByte(&context->peerUsrver);

    // SYSCAP bytes while the one before has bit 7, at most ten of them.
    std::memset(context->peerSyscap, 0, sizeof context->peerSyscap);
    for (size_t i = 0; i < kSyscapMax && body.TakeByte(&context->peerSyscap[i]); ++i) {
        if ((context->peerSyscap[i] & 0x80) == 0) break;
    }

    const uint8_t* syscap = context->peerSyscap;
    if (!ZelHasCapability(syscap, kCapFileAccess) || !ZelHasCapability(syscap, kCapBlocking) ||
        !ZelHasCapability(syscap, kCapRequired25) || !ZelHasCapability(syscap, kCapRequired40)) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    // A decode only ever adds capabilities.
    context->peerBlocking = true;
    context->peerLen256 |= ZelHasCapability(syscap, kCapLen256);
    context->peerChecksum |= ZelHasCapability(syscap, kCapChecksum);
    context->peerCanProtection |= ZelHasCapability(syscap, kCapProtection);
    context->peerCanPrint |= ZelHasCapability(syscap, kCapPrint);
    context->peerCanSubmit |= ZelHasCapability(syscap, kCapSubmit);
    context->peerCanRename |= ZelHasCapability(syscap, kCapRename);
    context->peerCanSetProtection |= ZelHasCapability(syscap, kCapSetProtection);
    return 1;
}
