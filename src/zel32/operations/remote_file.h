// Record-at-a-time access to one remote file: Open (Access and the
// connecting Control), Read (one record as text per call), Write (one
// record per call) and Close (Access Complete). The copy runs the Open
// handler to find out whether a remote target exists.
#pragma once

struct ZelContext;

int ZelOpenFileHandler(ZelContext* context);
int ZelReadFileHandler(ZelContext* context);
int ZelWriteFileHandler(ZelContext* context);
int ZelCloseFileHandler(ZelContext* context);
