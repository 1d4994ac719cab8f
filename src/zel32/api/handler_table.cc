#include "zel32/api/handler_table.h"

#include "zel32/api/link_establishment.h"
#include "zel32/operations/commands.h"
#include "zel32/operations/copy.h"
#include "zel32/operations/directory_listing.h"
#include "zel32/operations/remote_file.h"
#include "zel32/protocol/context.h"
#include "zel32/trace/ioctl.h"

namespace {

// Indexed by operation code; Open Link, Listen and Unknown have no handler.
constexpr ZelHandler kHandlers[kOperationSlots] = {
    /*  0 Unknown           */ nullptr,
    /*  1 Open Link         */ nullptr,
    /*  2 Close Link        */ ZelCloseLinkHandler,
    /*  3 Listen            */ nullptr,
    /*  4 Abort             */ ZelAbortHandler,
    /*  5 Copy File         */ ZelCopyHandler,
    /*  6 Open Remote File  */ ZelOpenFileHandler,
    /*  7 Read Remote File  */ ZelReadFileHandler,
    /*  8 Write Remote File */ ZelWriteFileHandler,
    /*  9 Close Remote File */ ZelCloseFileHandler,
    /* 10 Cwd               */ ZelCwdHandler,
    /* 11 Delete File       */ ZelCommandHandler,
    /* 12 Dir               */ ZelDirHandler,
    /* 13 Md                */ ZelCommandHandler,
    /* 14 Rd                */ ZelCommandHandler,
    /* 15 Print File        */ ZelPrintHandler,
    /* 16 Protection        */ ZelProtectionHandler,
    /* 17 Rename File       */ ZelCommandHandler,
    /* 18 Submit File       */ ZelCommandHandler,
    /* 19 Ioctl             */ ZelIoctlHandler,
};

}  // namespace

ZelHandler ZelHandlerFor(unsigned operation) { return operation < kOperationSlots ? kHandlers[operation] : nullptr; }
