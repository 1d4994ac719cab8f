// File copy: one whole file between the local machine and the remote node,
// in either direction, as one access (Access, connecting Control, the
// data-phase Control, a stream of Data messages, Access Complete), with the
// choice of names when an existing target is not to be overwritten and the
// time stamp an upload carries.
#pragma once

#include <cstdint>

struct ZelContext;

int ZelCopyHandler(ZelContext* context);

// Before an upload: opens the remote target (name2) to learn whether it
// exists; with renameLocal set, tries NAME.1 to NAME.998 in its place until
// the peer answers one with "file not found". Then sends the copy's
// Attributes, Date and Time and Access. 1, or -1: error 7 when every
// candidate exists; with renameLocal, the error of an Open that failed
// otherwise (a name that may exist is never created).
int ZelProbeRemoteTarget(ZelContext* context);

// Before a download with renameLocal set: creates name2 when no local file
// of that name exists, else the first free NAME.1 to NAME.998 (NAME being
// name2 cut after the first "." of its file name), which name2 then holds.
// Each is created only if it does not exist yet, so that two links
// downloading beside one file never take the same name. The file's
// handle, or -1 with error 7 (value 0) when none can be created; name2 then
// holds the last name tried (NAME.998 when all are taken), or stays as it
// was when the candidates outgrow a name field before.
intptr_t ZelCreateUniqueLocalFile(ZelContext* context);
