// One link's TCP connection seen as a sequence of frames, the same on both
// sides: buffered frame reads, whole-frame sends that never raise SIGPIPE,
// the data-phase rules of Send and Receive, and a shutdown that another
// thread may call to wake a blocked receive or send.
#pragma once

#include <sys/uio.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "ztsock/frame_reader.h"
#include "ztsock/socket.h"

namespace ztsock {

// What a receive does when time runs out inside a frame. The library's
// receive waits the link's whole patience: a peer that stops in the middle
// of a frame for that long is given up. A server looks for messages in
// short slices (or without waiting, between the blocks it streams): a frame
// half arrived is simply not there yet.
enum class StallAction { kBreakTheStream, kKeepTheFrame };

class FrameStream {
public:
    // Takes a connected, non-blocking stream socket (which may be invalid:
    // the stream is then closed from the start).
    explicit FrameStream(UniqueFd socket);
    FrameStream(const FrameStream&) = delete;
    FrameStream& operator=(const FrameStream&) = delete;
    ~FrameStream();

    // Reads any frame whose kind is in `allowedKinds` (the handshake). A
    // broken stream is closed. See FrameReader::Read.
    ReadOutcome ReadFrame(void* payload, size_t maximum, uint32_t allowedKinds, int timeoutMs,
                          FrameHeader* header, int16_t* errorNumber, TimeLimit limit = TimeLimit::kEachWait);

    // Receives one DATA or EXPEDITED payload: its length; 0 when the peer
    // closed (the stream is then gone); -1 with *errorNumber on a timeout
    // (60: between frames the stream stays usable, inside one as `onStall`
    // says) or on any failure (the stream is closed). `limit` says what
    // the timeout bounds (see TimeLimit).
    int32_t ReceiveData(void* buffer, size_t maximum, int timeoutMs, StallAction onStall, FrameKind* kind,
                        int16_t* errorNumber, TimeLimit limit = TimeLimit::kEachWait);

    // Sends one DATA or EXPEDITED frame: the length, 0 for an empty payload
    // (nothing sent), -1 with *errorNumber on failure. `timeoutMs` bounds
    // the wait for room in the socket's send buffer. A failed send closes
    // the stream, since the peer may hold part of a frame.
    int32_t SendData(const void* data, size_t length, bool expedited, int timeoutMs, int16_t* errorNumber);

    // Sends DATA frames, one per payload (empty ones are skipped), with one
    // system call when the socket has room: the length of all, or -1 as
    // SendData. At most kMaxFramesPerSend payloads.
    static constexpr size_t kMaxFramesPerSend = 16;
    int32_t SendDataFrames(const iovec* payloads, size_t count, int timeoutMs, int16_t* errorNumber);

    // Sends one frame of any kind and length (ACCEPT, REJECT, CONNECT).
    bool SendFrame(uint8_t kind, const void* payload, uint16_t length, int timeoutMs, int16_t* errorNumber);

    // Writes bytes as they are, outside any frame (for tests of the peer's
    // checks).
    bool SendRaw(const void* data, size_t length, int timeoutMs, int16_t* errorNumber);

    // Shuts the socket down in both directions: a receive or send blocked on
    // another thread returns, the peer sees the close. Safe from any thread.
    void Shutdown();

    // Closes the socket. Only on the thread that reads and sends.
    void Close();

    // Shuts the sending side, discards what the peer still sends until it
    // closes or `lingerMs` passes, then closes: a close with unread bytes
    // would reset the connection and could destroy the last frame sent.
    void CloseAfterDraining(int lingerMs);

    // The peer closed, a send or receive failed, or the stream was closed.
    bool gone() const { return gone_.load(std::memory_order_relaxed); }

private:
    bool WriteAll(iovec* parts, int count, int timeoutMs, int16_t* errorNumber);

    std::mutex fdMutex_;   // between Close on the owning thread and Shutdown on others
    int fd_;
    FrameReader reader_;
    std::atomic<bool> gone_{false};
};

}  // namespace ztsock
