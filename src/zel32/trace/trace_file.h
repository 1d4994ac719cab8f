// The trace file of a link: opened on request, closed when the trace is
// stopped or the link closes.
#pragma once

struct ZelContext;

// Turns the trace off and closes its file: 1, or -1 with error 1 when no
// trace file is open or the close fails.
int ZelStopTrace(ZelContext* context);
