#include "zel32/trace/trace_file.h"

#include <cstdio>

#include "zel32/host/local_files.h"
#include "zel32/protocol/context.h"
#include "zel32/trace/message_trace.h"
#include "zel32/transport/local_file.h"

int ZelStartTrace(ZelContext* context, const char* name, bool append) {
    // A trace already on is closed first: its file is never left open behind
    // the new one.
    if (context->traceOn != 0 && ZelStopTrace(context) < 0) return -1;
    const intptr_t file = RfaOpenLocalFile(context, name, append ? host::kOpenReadWrite : host::kOpenCreate);
    if (file < 0) return -1;
    if (append && !host::SeekToEnd(file)) {
        host::CloseFile(file);
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    context->traceFile = file;
    context->traceOn = 1;
    char banner[96];
    const int length = std::snprintf(banner, sizeof banner,
                                     "\r\n VAZeza File Transfer Utility Trace - RFA Handle: %lu\r\n",
                                     static_cast<unsigned long>(context->link->handle));
    if (ZelTraceWrite(context, banner, static_cast<size_t>(length)) < 0) {
        // A trace whose file cannot be written would fail every message of
        // the link: it is turned off again, the write's error kept.
        host::CloseFile(file);
        context->traceOn = 0;
        context->traceFile = 0;
        return -1;
    }
    return 1;
}

int ZelStopTrace(ZelContext* context) {
    context->traceOn = 0;
    const intptr_t file = context->traceFile;
    context->traceFile = 0;
    if (file == 0 || !host::CloseFile(file)) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, 0);
        return -1;
    }
    return 1;
}
