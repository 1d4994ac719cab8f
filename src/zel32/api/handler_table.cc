#include "zel32/api/handler_table.h"

#include "zel32/api/link_establishment.h"
#include "zel32/protocol/context.h"

namespace {

// Indexed by operation code; Open Link, Listen and Unknown have no handler.
constexpr ZelHandler kHandlers[kOperationSlots] = {
    /*  0 Unknown           */ nullptr,
    /*  1 Open Link         */ nullptr,
    /*  2 Close Link        */ ZelCloseLinkHandler,
    /*  3 Listen            */ nullptr,
    /*  4 Abort             */ nullptr,
    /*  5 Copy File         */ nullptr,
    /*  6 Open Remote File  */ nullptr,
    /*  7 Read Remote File  */ nullptr,
    /*  8 Write Remote File */ nullptr,
    /*  9 Close Remote File */ nullptr,
    /* 10 Cwd               */ nullptr,
    /* 11 Delete File       */ nullptr,
    /* 12 Dir               */ nullptr,
    /* 13 Md                */ nullptr,
    /* 14 Rd                */ nullptr,
    /* 15 Print File        */ nullptr,
    /* 16 Protection        */ nullptr,
    /* 17 Rename File       */ nullptr,
    /* 18 Submit File       */ nullptr,
    /* 19 Ioctl             */ nullptr,
};

}  // namespace

ZelHandler ZelHandlerFor(unsigned operation) { return operation < kOperationSlots ? kHandlers[operation] : nullptr; }
