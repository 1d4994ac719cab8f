#include "zel32/protocol/access_control.h"
#include "zel32/protocol/attributes.h"
#include "zel32/protocol/configuration.h"
#include "zel32/protocol/data_message.h"
#include "zel32/protocol/description_messages.h"
#include "zel32/protocol/message_codec.h"
#include "zel32/protocol/status_message.h"

namespace {

constexpr ZelMessageCodec kRefused{false, nullptr, nullptr, ZelDispatch::kRefused};

// Indexed by message type 0 to 19.
constexpr ZelMessageCodec kCodecs[20] = {
    /*  0 Unknown             */ kRefused,
    /*  1 Configuration       */ {true, ZelEncodeConfiguration, ZelDecodeConfiguration, ZelDispatch::kOwnResult},
    /*  2 Attributes          */ {true, ZelEncodeAttributes, ZelDecodeAttributes, ZelDispatch::kMoreWhenDone},
    /*  3 Access              */ {true, ZelEncodeAccess, ZelDecodeAccess, ZelDispatch::kMoreWhenDone},
    /*  4 Control             */ {true, ZelEncodeControl, ZelDecodeControl, ZelDispatch::kMoreWhenDone},
    /*  5 Continue Transfer   */ {true, ZelEncodeContinueTransfer, ZelDecodeContinueTransfer, ZelDispatch::kOwnResult},
    /*  6 Acknowledge         */ {true, nullptr, nullptr, ZelDispatch::kBodyless},
    /*  7 Access Complete     */ {true, ZelEncodeAccessComplete, ZelDecodeAccessComplete, ZelDispatch::kOwnResult},
    /*  8 Data                */ {true, nullptr, ZelDecodeData, ZelDispatch::kMoreOrFail},  // built by ZelEncodeRecord
    /*  9 Status              */ {true, nullptr, ZelDecodeStatus, ZelDispatch::kMoreOrFail},
    /* 10 Key                 */ kRefused,
    /* 11 Allocation          */ kRefused,
    /* 12 Summary Attributes  */ kRefused,
    /* 13 Date and Time       */ {true, ZelEncodeDates, ZelDecodeDates, ZelDispatch::kMoreWhenDone},
    /* 14 Protection          */ {true, ZelEncodeProtection, ZelDecodeProtection, ZelDispatch::kMoreWhenDone},
    /* 15 Name                */ {true, ZelEncodeName, ZelDecodeName, ZelDispatch::kMoreWhenDone},
    /* 16 Access Control List */ kRefused,
    /* 17 Collating Sequence  */ kRefused,
    /* 18 CDA Semantics       */ {true, nullptr, ZelDecodeSemantics, ZelDispatch::kMoreWhenDone},  // sent empty
    /* 19                     */ kRefused,
};

}  // namespace

const ZelMessageCodec& ZelCodecFor(unsigned type) { return type < 20 ? kCodecs[type] : kRefused; }
