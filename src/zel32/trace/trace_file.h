// The trace file of a link: opened on request, with a banner, and closed
// when the trace is stopped or the link closes.
#pragma once

struct ZelContext;

// Opens the trace file `name` (appending to an existing file, or creating
// it anew) and writes the banner. A trace already on is stopped first.
// 1, or -1 with the error recorded (7: the file could not be opened or
// created; 1: a write or close failed), the link then untraced.
int ZelStartTrace(ZelContext* context, const char* name, bool append);

// Turns the trace off and closes its file: 1, or -1 with error 1 when no
// trace file is open or the close fails.
int ZelStopTrace(ZelContext* context);
