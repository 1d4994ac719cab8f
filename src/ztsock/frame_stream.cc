#include "ztsock/frame_stream.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "ztsock/errors.h"

namespace ztsock {

FrameStream::FrameStream(UniqueFd socket) : fd_(socket.Release()), reader_(fd_) {
    if (fd_ < 0) gone_ = true;
}

FrameStream::~FrameStream() { Close(); }

ReadOutcome FrameStream::ReadFrame(void* payload, size_t maximum, uint32_t allowedKinds, int timeoutMs,
                                   FrameHeader* header, int16_t* errorNumber, TimeLimit limit) {
    if (fd_ < 0) {
        *errorNumber = kErrConnectionReset;
        return ReadOutcome::kBroken;
    }
    const ReadOutcome outcome = reader_.Read(payload, maximum, allowedKinds, timeoutMs, header, errorNumber, limit);
    if (outcome == ReadOutcome::kPeerClosed) gone_ = true;
    if (outcome == ReadOutcome::kBroken) Close();
    return outcome;
}

int32_t FrameStream::ReceiveData(void* buffer, size_t maximum, int timeoutMs, StallAction onStall,
                                 FrameKind* kind, int16_t* errorNumber, TimeLimit limit) {
    FrameHeader header;
    switch (ReadFrame(buffer, maximum, kDataKinds, timeoutMs, &header, errorNumber, limit)) {
    case ReadOutcome::kFrame:
        if (kind != nullptr) *kind = static_cast<FrameKind>(header.kind);
        return header.length;
    case ReadOutcome::kPeerClosed:
        return 0;
    case ReadOutcome::kStalled:
        if (onStall == StallAction::kBreakTheStream) Close();
        break;
    case ReadOutcome::kTimedOut:
    case ReadOutcome::kBroken:
        break;
    }
    return -1;
}

int32_t FrameStream::SendData(const void* data, size_t length, bool expedited, int timeoutMs,
                              int16_t* errorNumber) {
    if (length == 0) return 0;
    if (length > kMaxPayload) {
        *errorNumber = kErrMessageSize;
        return -1;
    }
    const uint8_t kind = expedited ? kFrameExpedited : kFrameData;
    if (!SendFrame(kind, data, static_cast<uint16_t>(length), timeoutMs, errorNumber)) return -1;
    return static_cast<int32_t>(length);
}

int32_t FrameStream::SendDataFrames(const iovec* payloads, size_t count, int timeoutMs, int16_t* errorNumber) {
    if (count > kMaxFramesPerSend) {
        *errorNumber = kErrMessageSize;
        return -1;
    }
    uint8_t headers[kMaxFramesPerSend][kFrameHeaderLength];
    iovec parts[2 * kMaxFramesPerSend];
    int used = 0;
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t length = payloads[i].iov_len;
        if (length == 0) continue;
        if (length > kMaxPayload) {
            *errorNumber = kErrMessageSize;
            return -1;
        }
        EncodeFrameHeader(kFrameData, static_cast<uint16_t>(length), headers[i]);
        parts[used++] = iovec{headers[i], kFrameHeaderLength};
        parts[used++] = payloads[i];
        total += length;
    }
    if (used == 0) return 0;
    if (!WriteAll(parts, used, timeoutMs, errorNumber)) return -1;
    return static_cast<int32_t>(total);
}

bool FrameStream::SendFrame(uint8_t kind, const void* payload, uint16_t length, int timeoutMs,
                            int16_t* errorNumber) {
    uint8_t header[kFrameHeaderLength];
    EncodeFrameHeader(kind, length, header);
    iovec parts[2] = {{header, sizeof header}, {const_cast<void*>(payload), length}};
    return WriteAll(parts, length == 0 ? 1 : 2, timeoutMs, errorNumber);
}

bool FrameStream::SendRaw(const void* data, size_t length, int timeoutMs, int16_t* errorNumber) {
    iovec part{const_cast<void*>(data), length};
    return WriteAll(&part, 1, timeoutMs, errorNumber);
}

bool FrameStream::WriteAll(iovec* parts, int count, int timeoutMs, int16_t* errorNumber) {
    if (fd_ < 0 || gone()) {
        *errorNumber = kErrConnectionReset;
        return false;
    }
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = static_cast<size_t>(count);
    while (message.msg_iovlen != 0) {
        const ssize_t sent = ::sendmsg(fd_, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR) continue;
            const int ready = errno == EAGAIN ? WaitFor(fd_, POLLOUT, timeoutMs) : -1;
            if (ready > 0) continue;
            *errorNumber = ready == 0 ? static_cast<int16_t>(kErrTimedOut) : BsdErrorNumber(errno);
            Close();
            return false;
        }
        // Step past what went out: whole parts, then into the first one left.
        auto left = static_cast<size_t>(sent);
        while (message.msg_iovlen != 0 && left >= message.msg_iov->iov_len) {
            left -= message.msg_iov->iov_len;
            ++message.msg_iov;
            --message.msg_iovlen;
        }
        if (message.msg_iovlen != 0) {
            message.msg_iov->iov_base = static_cast<uint8_t*>(message.msg_iov->iov_base) + left;
            message.msg_iov->iov_len -= left;
        }
    }
    return true;
}

void FrameStream::Shutdown() {
    std::lock_guard<std::mutex> lock(fdMutex_);
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void FrameStream::Close() {
    std::lock_guard<std::mutex> lock(fdMutex_);
    gone_ = true;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void FrameStream::CloseAfterDraining(int lingerMs) {
    if (fd_ >= 0 && ::shutdown(fd_, SHUT_WR) == 0) {
        const Deadline deadline(lingerMs);
        uint8_t discard[4096];
        // The deadline holds even against a peer that never stops sending.
        while (deadline.RemainingMs() != 0) {
            const ssize_t got = ::recv(fd_, discard, sizeof discard, MSG_DONTWAIT);
            if (got > 0 || (got < 0 && errno == EINTR)) continue;
            if (got == 0 || errno != EAGAIN) break;
            if (WaitFor(fd_, POLLIN, deadline.RemainingMs()) <= 0) break;
        }
    }
    Close();
}

}  // namespace ztsock
