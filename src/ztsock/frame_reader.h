// Buffered reading of frames from a link's socket. Small frames come out of
// one 64 KiB read-ahead buffer without a system call each; the rest of a
// large payload is read straight into the caller's buffer, together with
// whatever follows it, so that a bulk transfer costs few calls per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "ztsock/frame.h"

namespace ztsock {

enum class ReadOutcome {
    kFrame,        // a whole frame was read
    kPeerClosed,   // orderly close between frames
    kTimedOut,     // nothing arrived in time; the next frame may still come
    kStalled,      // time ran out inside a frame: the bytes so far are kept,
                   // and the next Read goes on with them
    kBroken,       // reset or close inside a frame, or a protocol violation:
                   // the stream has lost its frame boundaries
};

// What a read's timeout bounds: each wait for more bytes (a server's
// receive, which has an idle limit of its own), the whole read (a
// handshake, which a peer must not stretch by trickling its bytes), or the
// wait for a frame to begin and then, from its first byte, the whole frame
// (a client's receive: a server may be silent for a while between
// messages, but cannot hold the client for ever by trickling a frame).
enum class TimeLimit { kEachWait, kWholeRead, kWholeFrame };

class FrameReader {
public:
    static constexpr size_t kBufferSize = size_t{64} * 1024;

    // Reads from `fd`, which the caller owns and keeps open while reading.
    explicit FrameReader(int fd) : fd_(fd) {}

    // Reads the next frame and places its payload in `payload`. A frame whose
    // kind is not in `allowedKinds`, whose length the kind cannot carry, or
    // whose payload exceeds `maximum` is a protocol violation. `timeoutMs`
    // bounds each wait for more bytes, the whole read, or the wait for the
    // frame and then the frame, as `limit` says (negative: no limit). Sets
    // *errorNumber unless the outcome is kFrame: 54 for a close, reset or
    // violation, 60 for a timeout (kTimedOut, kStalled), else the socket's
    // error. A server that looks for a client's message without waiting, or
    // in short slices, may thus meet a frame half arrived: it is taken up
    // again by the next Read, whatever buffer that one is given.
    ReadOutcome Read(void* payload, size_t maximum, uint32_t allowedKinds, int timeoutMs,
                     FrameHeader* header, int16_t* errorNumber, TimeLimit limit = TimeLimit::kEachWait);

private:
    enum class Fill { kRead, kEnd, kTimedOut, kFailed };

    // One read: first into direct[0, directLength), the rest into the free
    // tail of the buffer. *directTaken says how much went to `direct`.
    Fill ReadSome(uint8_t* direct, size_t directLength, size_t* directTaken, int timeoutMs,
                  int16_t* errorNumber);
    // The outcome of a read that ended without bytes, before or inside a frame.
    static ReadOutcome Interrupted(Fill fill, bool betweenFrames, int16_t* errorNumber);
    // Time ran out inside the payload of `header`, of which `copied` bytes
    // are in `payload`: the header and those bytes go back to the buffer.
    ReadOutcome Stall(const FrameHeader& header, const uint8_t* payload, size_t copied, int16_t* errorNumber);
    size_t buffered() const { return end_ - begin_; }

    int fd_;
    std::unique_ptr<uint8_t[]> buffer_;   // allocated at the first read
    size_t begin_ = 0;
    size_t end_ = 0;
};

}  // namespace ztsock
