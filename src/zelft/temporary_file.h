// The hidden temporary file of a staged download, removed should SIGINT,
// SIGTERM or SIGHUP end zelft while it exists: a get interrupted from the
// terminal, killed or hung up on leaves no .zelft-XXXXXX beside its target.
// The handler removes the file, then ends zelft by the same signal with
// its default action, as it would have ended without the handler. A signal
// zelft was started ignoring (nohup) stays ignored. The handlers are
// installed only while the file exists and the ones before are put back
// after, so they never overlap the password prompt's own.
#pragma once

#include <string>

namespace zelft {

// Creates the file from the mkostemp template `path` (".../.zelft-XXXXXX",
// rewritten with the name chosen) and closes it; from then on the signals
// remove it, with no moment between its creation and that in which one
// would leave it. False with errno set when it cannot be created. One file
// at a time: zelft copies one file at a time.
bool CreateTemporaryFile(std::string* path);

// The file was removed or renamed: the signals no longer remove it, and
// their handlers are the ones before CreateTemporaryFile again.
void ForgetTemporaryFile();

}  // namespace zelft
