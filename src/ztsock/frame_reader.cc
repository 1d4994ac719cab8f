#include "ztsock/frame_reader.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "ztsock/errors.h"
#include "ztsock/socket.h"

namespace ztsock {

ReadOutcome FrameReader::Read(void* payload, size_t maximum, uint32_t allowedKinds, int timeoutMs,
                              FrameHeader* header, int16_t* errorNumber, TimeLimit limit) {
    const Deadline wholeRead(limit == TimeLimit::kWholeRead ? timeoutMs : -1);
    std::optional<Deadline> wholeFrame;  // from the frame's first byte (or this read's start)
    const auto waitMs = [&](bool frameBegun) {
        if (limit == TimeLimit::kWholeRead) return wholeRead.RemainingMs();
        if (limit == TimeLimit::kEachWait || !frameBegun) return timeoutMs;
        if (!wholeFrame) wholeFrame.emplace(timeoutMs);
        return wholeFrame->RemainingMs();
    };
    while (buffered() < kFrameHeaderLength) {
        const bool betweenFrames = buffered() == 0;
        if (begin_ != 0) {
            std::memmove(buffer_.get(), buffer_.get() + begin_, buffered());
            end_ -= begin_;
            begin_ = 0;
        }
        const Fill fill = ReadSome(nullptr, 0, nullptr, waitMs(!betweenFrames), errorNumber);
        if (fill != Fill::kRead) return Interrupted(fill, betweenFrames, errorNumber);
    }

    *header = DecodeFrameHeader(buffer_.get() + begin_);
    if ((allowedKinds & KindBit(header->kind)) == 0 || !FrameLengthFits(header->kind, header->length) ||
        header->length > maximum) {
        *errorNumber = kErrConnectionReset;
        return ReadOutcome::kBroken;
    }
    begin_ += kFrameHeaderLength;

    auto* out = static_cast<uint8_t*>(payload);
    size_t copied = std::min<size_t>(header->length, buffered());
    if (copied != 0) std::memcpy(out, buffer_.get() + begin_, copied);
    begin_ += copied;
    if (begin_ == end_) begin_ = end_ = 0;
    while (copied < header->length) {
        size_t taken = 0;
        const Fill fill = ReadSome(out + copied, header->length - copied, &taken, waitMs(true), errorNumber);
        if (fill == Fill::kTimedOut) return Stall(*header, out, copied, errorNumber);
        if (fill != Fill::kRead) return Interrupted(fill, false, errorNumber);
        copied += taken;
    }
    return ReadOutcome::kFrame;
}

ReadOutcome FrameReader::Interrupted(Fill fill, bool betweenFrames, int16_t* errorNumber) {
    if (fill == Fill::kFailed) return ReadOutcome::kBroken;
    const bool closed = fill == Fill::kEnd;
    *errorNumber = closed ? kErrConnectionReset : kErrTimedOut;
    // A close inside a frame loses the frame; a timeout inside a header
    // leaves its bytes in the buffer for the next Read.
    if (closed) return betweenFrames ? ReadOutcome::kPeerClosed : ReadOutcome::kBroken;
    return betweenFrames ? ReadOutcome::kTimedOut : ReadOutcome::kStalled;
}

ReadOutcome FrameReader::Stall(const FrameHeader& header, const uint8_t* payload, size_t copied,
                               int16_t* errorNumber) {
    // While a payload is being read straight into the caller's buffer the
    // read-ahead buffer stays empty (bytes go to it only once the payload is
    // complete), so the frame so far fits at its start.
    *errorNumber = kErrTimedOut;
    if (buffered() != 0 || kFrameHeaderLength + copied > kBufferSize) return ReadOutcome::kBroken;
    EncodeFrameHeader(header.kind, header.length, buffer_.get());
    if (copied != 0) std::memcpy(buffer_.get() + kFrameHeaderLength, payload, copied);
    begin_ = 0;
    end_ = kFrameHeaderLength + copied;
    return ReadOutcome::kStalled;
}

FrameReader::Fill FrameReader::ReadSome(uint8_t* direct, size_t directLength, size_t* directTaken,
                                        int timeoutMs, int16_t* errorNumber) {
    if (!buffer_) buffer_ = std::make_unique<uint8_t[]>(kBufferSize);
    iovec parts[2];
    int count = 0;
    if (directLength != 0) parts[count++] = iovec{direct, directLength};
    parts[count++] = iovec{buffer_.get() + end_, kBufferSize - end_};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = static_cast<size_t>(count);
    for (;;) {
        const ssize_t got = ::recvmsg(fd_, &message, MSG_DONTWAIT);
        if (got > 0) {
            const size_t toDirect = std::min(static_cast<size_t>(got), directLength);
            if (directTaken != nullptr) *directTaken = toDirect;
            end_ += static_cast<size_t>(got) - toDirect;
            return Fill::kRead;
        }
        if (got == 0) return Fill::kEnd;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) break;
        // A look without waiting (a server between the blocks it streams)
        // costs one call, not a poll besides.
        if (timeoutMs == 0) return Fill::kTimedOut;
        const int ready = WaitFor(fd_, POLLIN, timeoutMs);
        if (ready == 0) return Fill::kTimedOut;
        if (ready < 0) break;
    }
    *errorNumber = BsdErrorNumber(errno);
    return Fill::kFailed;
}

}  // namespace ztsock
