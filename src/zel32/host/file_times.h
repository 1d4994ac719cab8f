// Local file times: the last-write time of a local file as a UTC calendar
// time, which an upload sends as the remote file's creation and revision
// dates.
#pragma once

#include <cstdint>
#include <ctime>

namespace host {

// The last-write time of the file behind `handle` (a handle of
// local_files.h) in UTC. False when the file's times cannot be read or the
// time has no calendar form.
bool LastWriteTimeUtc(intptr_t handle, std::tm* utc);

}  // namespace host
