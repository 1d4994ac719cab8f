// Reading frames from a socket that delivers them in pieces of any size:
// between them, the read-ahead buffer and the reads straight into the
// caller's buffer (which also take in whatever follows a payload) must give
// every frame whole, and never write past the caller's buffer.
#include "ztsock/frame_reader.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <thread>
#include <vector>

#include "ztsock/frame.h"

namespace ztsock {
namespace {

struct SentFrame {
    uint8_t kind;
    std::vector<uint8_t> payload;
};

// Frames of every size class: one byte, small, a little over a header, near
// and at the largest payload.
std::vector<SentFrame> MixedFrames(std::mt19937& random, size_t count) {
    const size_t sizes[] = {1, 2, 3, 40, 700, 4095, 4096, 20000, kMaxPayload - 1, kMaxPayload};
    std::vector<SentFrame> frames;
    for (size_t i = 0; i < count; ++i) {
        SentFrame frame;
        frame.kind = random() % 5 == 0 ? kFrameExpedited : kFrameData;
        const size_t length = random() % 3 == 0 ? 1 + random() % kMaxPayload : sizes[random() % std::size(sizes)];
        frame.payload.resize(length);
        for (uint8_t& byte : frame.payload) byte = static_cast<uint8_t>(random());
        frames.push_back(std::move(frame));
    }
    return frames;
}

std::vector<uint8_t> Stream(const std::vector<SentFrame>& frames) {
    std::vector<uint8_t> stream;
    for (const SentFrame& frame : frames) {
        uint8_t header[kFrameHeaderLength];
        EncodeFrameHeader(frame.kind, static_cast<uint16_t>(frame.payload.size()), header);
        stream.insert(stream.end(), header, header + sizeof header);
        stream.insert(stream.end(), frame.payload.begin(), frame.payload.end());
    }
    return stream;
}

// Writes `stream` to `fd` in pieces whose sizes come from `pieceSizes`
// (cycled), pausing now and then so that the reader finds the socket empty
// in the middle of headers and payloads.
void WriteInPieces(int fd, const std::vector<uint8_t>& stream, const std::vector<size_t>& pieceSizes) {
    size_t at = 0;
    for (size_t i = 0; at < stream.size(); ++i) {
        const size_t piece = std::min(pieceSizes[i % pieceSizes.size()], stream.size() - at);
        const ssize_t put = ::send(fd, stream.data() + at, piece, MSG_NOSIGNAL);
        if (put <= 0) return;
        at += static_cast<size_t>(put);
        if (i % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// Reads `frames` back with a buffer of `maximum` bytes, checking each.
void ReadAndCheck(FrameReader& reader, const std::vector<SentFrame>& frames, size_t maximum) {
    // Guard bytes behind the caller's buffer show any write past `maximum`.
    std::vector<uint8_t> payload(maximum + 64, 0xEE);
    for (size_t index = 0; index < frames.size(); ++index) {
        FrameHeader header;
        int16_t error = 0;
        const ReadOutcome outcome = reader.Read(payload.data(), maximum, kDataKinds, 5000, &header, &error);
        ASSERT_EQ(outcome, ReadOutcome::kFrame) << "frame " << index << ", error " << error;
        ASSERT_EQ(header.kind, frames[index].kind) << "frame " << index;
        ASSERT_EQ(header.length, frames[index].payload.size()) << "frame " << index;
        ASSERT_TRUE(std::equal(frames[index].payload.begin(), frames[index].payload.end(), payload.begin()))
            << "frame " << index;
        for (size_t guard = maximum; guard < payload.size(); ++guard) ASSERT_EQ(payload[guard], 0xEE);
    }
    FrameHeader header;
    int16_t error = 0;
    EXPECT_EQ(reader.Read(payload.data(), maximum, kDataKinds, 5000, &header, &error), ReadOutcome::kPeerClosed);
}

void ExpectFramesRead(const std::vector<SentFrame>& frames, const std::vector<size_t>& pieceSizes, size_t maximum) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    const std::vector<uint8_t> stream = Stream(frames);
    std::thread writer([&] {
        WriteInPieces(fds[1], stream, pieceSizes);
        ::close(fds[1]);
    });
    FrameReader reader(fds[0]);
    ReadAndCheck(reader, frames, maximum);
    // A failed check leaves the writer blocked: the shutdown frees it.
    ::shutdown(fds[0], SHUT_RDWR);
    writer.join();
    ::close(fds[0]);
}

TEST(FrameReading, FramesOfEverySizeComeOutWholeHoweverTheBytesArrive) {
    std::mt19937 random(7);
    const std::vector<SentFrame> frames = MixedFrames(random, 300);
    const std::vector<std::vector<size_t>> pieceSchemes = {
        {1 << 20},                        // as fast as the socket takes them
        {kMaxPayload + 3},                // exactly a largest frame a write
        {kMaxPayload + 4, 17, 65536},     // a frame and the start of the next
        {4097, 3, 30000, 1, 60000, 2},    // anything
    };
    for (const auto& pieces : pieceSchemes) {
        SCOPED_TRACE("pieces of " + std::to_string(pieces.front()) + " bytes first");
        ExpectFramesRead(frames, pieces, kMaxPayload);
    }
    SCOPED_TRACE("byte by byte, headers split everywhere");
    ExpectFramesRead(MixedFrames(random, 20), {1, 2, 3, 5}, kMaxPayload);
}

TEST(FrameReading, ACallerBufferSmallerThanTheLargestFrameIsNeverOverrun) {
    std::mt19937 random(11);
    std::vector<SentFrame> frames = MixedFrames(random, 40);
    for (size_t maximum : {size_t{4096}, size_t{20000}}) {
        SCOPED_TRACE("buffer of " + std::to_string(maximum));
        std::vector<SentFrame> fitting;
        for (const SentFrame& frame : frames) {
            if (frame.payload.size() <= maximum) fitting.push_back(frame);
        }
        ExpectFramesRead(fitting, {1 << 20}, maximum);
        ExpectFramesRead(fitting, {maximum + 5, 9}, maximum);
    }
}

TEST(FrameReading, AFrameHalfArrivedWhenTimeRunsOutIsTakenUpByTheNextRead) {
    // A server looks for a client's message without waiting: the frame may
    // have begun to arrive, its header or its payload cut anywhere. Each
    // later Read is given another buffer, as a server's may be.
    const std::vector<uint8_t> payload = [] {
        std::vector<uint8_t> bytes(20000);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
        return bytes;
    }();
    const std::vector<uint8_t> stream = Stream({{kFrameData, payload}, {kFrameExpedited, {0x42}}});
    for (const size_t cut : {size_t{1}, size_t{2}, size_t{3}, size_t{4}, size_t{9000}, stream.size() - 5}) {
        SCOPED_TRACE("cut after " + std::to_string(cut) + " bytes");
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        FrameReader reader(fds[0]);
        FrameHeader header;
        int16_t error = 0;
        std::vector<uint8_t> first(kMaxPayload, 0);
        EXPECT_EQ(reader.Read(first.data(), kMaxPayload, kDataKinds, 0, &header, &error), ReadOutcome::kTimedOut);
        ASSERT_EQ(::write(fds[1], stream.data(), cut), static_cast<ssize_t>(cut));
        error = 0;
        EXPECT_EQ(reader.Read(first.data(), kMaxPayload, kDataKinds, 0, &header, &error), ReadOutcome::kStalled);
        EXPECT_EQ(error, 60);
        // Still nothing more: stalled again, nothing lost.
        EXPECT_EQ(reader.Read(first.data(), kMaxPayload, kDataKinds, 20, &header, &error), ReadOutcome::kStalled);
        ASSERT_EQ(::write(fds[1], stream.data() + cut, stream.size() - cut), static_cast<ssize_t>(stream.size() - cut));
        std::vector<uint8_t> second(kMaxPayload, 0);
        ASSERT_EQ(reader.Read(second.data(), kMaxPayload, kDataKinds, 1000, &header, &error), ReadOutcome::kFrame);
        EXPECT_EQ(header.kind, kFrameData);
        ASSERT_EQ(header.length, payload.size());
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), second.begin()));
        ASSERT_EQ(reader.Read(second.data(), kMaxPayload, kDataKinds, 1000, &header, &error), ReadOutcome::kFrame);
        EXPECT_EQ(header.kind, kFrameExpedited);
        EXPECT_EQ(second[0], 0x42);
        ::close(fds[0]);
        ::close(fds[1]);
    }
}

TEST(FrameReading, APeerThatClosesAfterAStallInsideAFrameBreaksTheStream) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    const std::vector<uint8_t> stream = Stream({{kFrameData, std::vector<uint8_t>(100, 0x41)}});
    ASSERT_EQ(::write(fds[1], stream.data(), 50), 50);
    FrameReader reader(fds[0]);
    std::vector<uint8_t> payload(kMaxPayload);
    FrameHeader header;
    int16_t error = 0;
    EXPECT_EQ(reader.Read(payload.data(), kMaxPayload, kDataKinds, 0, &header, &error), ReadOutcome::kStalled);
    ::close(fds[1]);
    EXPECT_EQ(reader.Read(payload.data(), kMaxPayload, kDataKinds, 1000, &header, &error), ReadOutcome::kBroken);
    EXPECT_EQ(error, 54);
    ::close(fds[0]);
}

TEST(FrameReading, AFrameLargerThanTheCallersBufferBreaksTheStream) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    const std::vector<uint8_t> stream = Stream({{kFrameData, std::vector<uint8_t>(5000, 0x41)}});
    ASSERT_EQ(::write(fds[1], stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
    FrameReader reader(fds[0]);
    std::vector<uint8_t> payload(4096 + 64, 0xEE);
    FrameHeader header;
    int16_t error = 0;
    EXPECT_EQ(reader.Read(payload.data(), 4096, kDataKinds, 1000, &header, &error), ReadOutcome::kBroken);
    EXPECT_EQ(error, 54);
    for (size_t guard = 4096; guard < payload.size(); ++guard) ASSERT_EQ(payload[guard], 0xEE);
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace
}  // namespace ztsock
