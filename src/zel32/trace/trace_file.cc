#include "zel32/trace/trace_file.h"

#include "zel32/host/local_files.h"
#include "zel32/protocol/context.h"

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
