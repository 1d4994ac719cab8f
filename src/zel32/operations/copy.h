// File copy: one whole file between the local machine and the remote node,
// in either direction, as one access (Access, connecting Control, the
// data-phase Control, a stream of Data messages, Access Complete), with the
// choice of names when an existing target is not to be overwritten and the
// time stamp an upload carries.
#pragma once

struct ZelContext;

int ZelCopyHandler(ZelContext* context);

// Before an upload: opens the remote target (name2) to learn whether it
// exists; with renameLocal set, tries NAME.1 to NAME.998 in its place until
// the peer answers one with "file not found". Then sends the copy's
// Attributes, Date and Time and Access. 1, or -1: error 7 when every
// candidate exists; with renameLocal, the error of an Open that failed
// otherwise (a name that may exist is never created).
int ZelProbeRemoteTarget(ZelContext* context);

// Before a download with renameLocal set: keeps name2 when no local file of
// that name exists, else replaces it with the first free NAME.1 to
// NAME.998, NAME being name2 cut after the first "." of its file name.
// 1, or -1 with error 7 (value 0) when none is free; name2 then holds
// NAME.998, the last one tried, or stays as it was when the candidates
// outgrow a name field before.
int ZelUniqueLocalName(ZelContext* context);
