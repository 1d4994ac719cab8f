// Counting the bytes a copy moves: the link's bytesTransferred, and the
// caller's progress procedure, called a few times a second and at the end.
#pragma once

#include <cstdint>

struct ZelContext;

// A copy starts: nothing moved, the local size not known.
void ZelStartCopyProgress(ZelContext* context);
// `count` more bytes were read from or written to the local file.
void ZelCountCopied(ZelContext* context, uint64_t count);
// The local file's size is known.
void ZelSetLocalSize(ZelContext* context, uint64_t size);
// The copy ended: one last report, whatever the time since the one before.
void ZelFinishCopyProgress(ZelContext* context);
