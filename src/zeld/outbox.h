// The server's send side: messages appended to one transmission block of at
// most the client's buffer size, which is finished when full or after a
// message without a length field. Finished blocks go to the sink together,
// a few at a time while records stream out (one system call for several
// blocks), and all of them whenever the server flushes: before it waits for
// the client.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "wire/fields.h"
#include "wire/message_types.h"

namespace zeld {

// Where finished blocks go: the connection, or a test's list.
class BlockSink {
public:
    virtual ~BlockSink() = default;
    // One transmission block; false when the link has failed.
    virtual bool SendBlock(const uint8_t* block, size_t length) = 0;
    // Several blocks in order, as one SendBlock each unless the sink can do
    // better.
    virtual bool SendBlocks(const uint8_t* const* blocks, const size_t* lengths, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (!SendBlock(blocks[i], lengths[i])) return false;
        }
        return true;
    }
};

class Outbox {
public:
    explicit Outbox(BlockSink* sink) : sink_(sink) {}
    Outbox(const Outbox&) = delete;
    Outbox& operator=(const Outbox&) = delete;

    // What the client's Configuration allows: its block size (0: the
    // largest), length fields (SYSCAP 18) and two-byte lengths (20).
    void Configure(size_t clientBufferSize, bool lengthFields, bool twoByteLengths);
    void Unconfigure();  // back to the start: no length fields, largest block

    // Appends one message whose body `build` writes, at most `maxBody`
    // bytes and at most 1024 (a body that does not fit is dropped and the
    // call fails). Data messages go through BeginData.
    bool Put(uint8_t type, size_t maxBody, const std::function<void(wire::Writer&)>& build);
    // A message with no body (Acknowledge).
    bool PutEmpty(uint8_t type);
    // A Configuration message: no length field, a block of its own.
    bool PutConfiguration(const std::function<void(wire::Writer&)>& build);

    // The largest body any message carries, whatever its length field.
    size_t MaxBody() const;
    // The largest record one Data message carries behind `prefixLength`
    // control bytes.
    size_t MaxRecord(size_t prefixLength) const { return MaxBody() - 1 - prefixLength; }
    // Starts a Data message whose record of up to `capacity` bytes (at most
    // MaxRecord) is written at the returned position, behind RECNUM and the
    // prefix; EndData gives its length. The header is the one of a record of
    // `capacity` bytes, whatever the length; the block is sent first only
    // when it has no room for `room` bytes (the record's length, when known
    // before it is read), so that short records share their blocks. Null
    // when the link has failed.
    uint8_t* BeginData(const uint8_t* prefix, size_t prefixLength, size_t capacity, size_t room);
    bool EndData(size_t recordLength);
    // A whole Data message of `length` bytes of `record`, as BeginData (with
    // room for the record) and EndData make it.
    bool PutData(const uint8_t* prefix, size_t prefixLength, size_t capacity, const uint8_t* record, size_t length);

    // Finishes the block being filled and hands every finished block to the
    // sink.
    bool Flush();
    bool failed() const { return failed_; }
    // Blocks finished so far (handed to the sink, or waiting to go with the
    // next ones).
    uint64_t blocksFinished() const { return blocksFinished_; }
    size_t blockLimit() const { return limit_; }

private:
    // The FLAGS byte for a body of `length` bytes (0: no length field).
    uint8_t FlagsFor(size_t length) const;
    bool MakeRoom(size_t bytes);
    bool Finish(size_t messageStart, size_t messageLength);
    // Finishes the block being filled; sends the finished ones when they
    // are as many as go together.
    bool EndBlock();
    bool SendFinished();

    // How many finished blocks go to the sink together: four blocks of the
    // largest size are 126 KiB, which the connection takes in one call.
    static constexpr size_t kBlocksPerSend = 4;

    BlockSink* sink_;
    size_t limit_ = wire::kMaxBlock;
    bool lengthFields_ = false;
    bool twoByteLengths_ = false;
    bool failed_ = false;
    uint64_t blocksFinished_ = 0;
    size_t finished_ = 0;    // finished blocks not yet sent: the first of blocks_
    size_t used_ = 0;        // of the block being filled, blocks_[finished_]
    size_t dataStart_ = 0;   // of the Data message being built
    size_t dataHeader_ = 0;  // its header and RECNUM and prefix
    uint8_t blocks_[kBlocksPerSend][wire::kMaxBlock];
    size_t lengths_[kBlocksPerSend] = {};
    uint8_t* block_ = blocks_[0];  // the block being filled
    uint8_t body_[1024];  // where Put builds a body first (none is longer)
};

}  // namespace zeld
