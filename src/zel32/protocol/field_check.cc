#include "zel32/protocol/field_check.h"

#include "zel32/protocol/context.h"

int ZelUnexpectedMessage(ZelContext* context) {
    RfaSetError(context, RFA_ERR_PROTOCOL, 0);
    context->refusedInBlock = true;
    return -1;
}

int FieldCheck(ZelContext* context, const uint8_t* field, size_t remaining, size_t max, int kind) {
    if (kind == kFieldExtensible) {
        size_t length = 0;
        if (!wire::ExtensibleLength(field, remaining, max, &length)) return ZelUnexpectedMessage(context);
        return 1;
    }
    if (kind == kFieldImage) {
        if (remaining == 0 || field[0] > max) return ZelUnexpectedMessage(context);
        return 1;
    }
    return kind;
}

bool ZelTakeExtensible(ZelContext* context, wire::Reader& body, size_t max, uint8_t* out, size_t keep) {
    if (body.TakeExtensible(max, out, keep)) return true;
    ZelUnexpectedMessage(context);
    return false;
}

bool ZelTakeImage(ZelContext* context, wire::Reader& body, size_t max, void* out, size_t capacity,
                  uint8_t* count) {
    // Refused both for a count above max and for one that runs past the body.
    if (body.TakeImage(max, static_cast<uint8_t*>(out), capacity, count)) return true;
    ZelUnexpectedMessage(context);
    return false;
}
