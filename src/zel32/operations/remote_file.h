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

// The peer holds no access any more (an Abort, or the Configuration that
// repaired a Sync Error, ended it): the open file's Read and Write fail
// with 20 (value 0), sending nothing, rather than wait for records that
// will not come or send records into no access, and its Close sends nothing.
void ZelEndFileAccess(ZelContext* context);
// The same, where the peer dropped the access unasked (the Configuration
// that repaired a Sync Error): records written into it were lost, which
// the file's Close then reports (20) rather than a success.
void ZelLoseFileAccess(ZelContext* context);

// The next Read or Write sends its Control again, and no rest of a record
// read in pieces is left: the record stream starts anew.
void ZelRestartRecordStream(ZelContext* context);
