// The record conversion of a copy: downloaded records turned into the local
// file's bytes (text lines that get CR LF, Fortran lines, large stream
// records), and a local file cut into records and sent (text lines, image,
// block-transfer and stream records) to a peer on loopback that reads and
// drops the blocks.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_link.h"
#include "wire/message_types.h"
#include "wire/record_format.h"
#include "zel32/host/local_files.h"
#include "zel32/operations/record_conversion.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/templates.h"
#include "ztsock/server.h"
#include "ztsock/ztsock.h"

namespace {

constexpr uint8_t kDataTypeText = 0x01;
constexpr uint8_t kDataTypeImage = 0x02;
constexpr uint8_t kBlockTransfer = 5;
constexpr uint8_t kRfmStream = 4;  // as zeld describes its files

// A link ready for a copy's conversion: its local-file buffer made ready,
// and the local files it is given closed at the end.
class ConversionContext : public zelbench::BenchLink {
public:
    ConversionContext() {
        if (ZelPrepareLocalBuffer(get()) < 0) throw std::runtime_error("no local buffer");
    }
    ~ConversionContext() {
        if (get()->localFile > 0) host::CloseFile(get()->localFile);
        if (get()->sourceFile > 0) host::CloseFile(get()->sourceFile);
    }
    ConversionContext(const ConversionContext&) = delete;
    ConversionContext& operator=(const ConversionContext&) = delete;
};

// ---- Download --------------------------------------------------------------

// Converts the same received record over and over into /dev/null, whose
// writes cost next to nothing: what is measured is the conversion and the
// buffering of the local writes.
void DownloadRecords(benchmark::State& state, uint8_t rfm, uint8_t rat, size_t recordLength) {
    ConversionContext context;
    context->sentAttributes.dataType = kDataTypeText;
    context->sentControl.rac = 3;
    context->attributes.rfm = rfm;
    context->attributes.rat[0] = rat;
    context->localFile = host::OpenFile("/dev/null", host::kOpenReadWrite);
    for (size_t i = 0; i < recordLength; ++i) context->recordData[i] = static_cast<uint8_t>('a' + i % 26);
    context->recordData[recordLength] = 0;
    context->recordLength = static_cast<uint16_t>(recordLength);
    for (auto _ : state) {
        if (!ZelDownloadRecords(context.get())) state.SkipWithError("write failed");
    }
    ZelFlushDownload(context.get());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * recordLength));
}

// A whole received block of 79-byte text records, each a Data message with
// a one-byte length: the first decoded as the receive path does, the rest
// converted where they lie.
void DownloadTextBlock(benchmark::State& state) {
    constexpr size_t kRecord = 79;
    ConversionContext context;
    context->sentAttributes.dataType = kDataTypeText;
    context->sentControl.rac = 3;
    context->attributes.rfm = wire::kRfmVariable;
    context->attributes.rat[0] = wire::kRatImpliedLineEnd;
    context->localFile = host::OpenFile("/dev/null", host::kOpenReadWrite);
    size_t blockLength = 0;
    size_t records = 0;
    uint8_t* block = context->receiveBuffer;
    while (blockLength + 3 + 1 + kRecord <= kBufferSize) {
        block[blockLength++] = wire::kData;
        block[blockLength++] = wire::kFlagLength;
        block[blockLength++] = 1 + kRecord;
        block[blockLength++] = 0;  // RECNUM
        for (size_t i = 0; i < kRecord; ++i) block[blockLength++] = static_cast<uint8_t>('a' + (records + i) % 26);
        ++records;
    }
    for (auto _ : state) {
        // The first message as ZelReceiveMessage leaves it, decoded.
        std::memcpy(context->recordData, block + 4, kRecord);
        context->recordLength = kRecord;
        context->readCursor = 3 + 1 + kRecord;
        context->blockRemaining = static_cast<int32_t>(blockLength - context->readCursor);
        if (!ZelDownloadRecords(context.get()) || context->blockRemaining != 0) state.SkipWithError("block not taken");
    }
    ZelFlushDownload(context.get());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * records));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * records * kRecord));
}

void DownloadTextLine(benchmark::State& state) {
    DownloadRecords(state, wire::kRfmVariable, wire::kRatImpliedLineEnd, 79);
}
void DownloadFortranLine(benchmark::State& state) { DownloadRecords(state, wire::kRfmVariable, wire::kRatFortran, 80); }
void DownloadStreamRecord(benchmark::State& state) { DownloadRecords(state, kRfmStream, 0, 32251); }

// ---- Upload ----------------------------------------------------------------

// A peer on loopback that accepts one link and reads its blocks until it
// closes.
class DiscardPeer {
public:
    DiscardPeer() {
        std::string error;
        listener_ = ztsock::Listener::Open("127.0.0.1:0", &error);
        if (!listener_) throw std::runtime_error(error);
        thread_ = std::thread([this] {
            auto connection = listener_->Accept(10000);
            ztsock::ConnectRequest request;
            if (!connection || !connection->ReadConnect(&request, 10000) || !connection->Accept()) return;
            std::vector<uint8_t> block(ztsock::kMaxPayload);
            ztsock::FrameKind kind;
            int16_t errorNumber = 0;
            while (connection->Receive(block.data(), block.size(), &kind, 60000, &errorNumber) > 0) {
            }
        });
        const std::string node = "127.0.0.1:" + std::to_string(listener_->port());
        int16_t errorNumber = 0;
        connection_ = ztsock::Connect(node.c_str(), "#17", &errorNumber);
        if (connection_ < 0) throw std::runtime_error("connect failed");
    }
    ~DiscardPeer() {
        int32_t value = 0;
        ztsock::Close(static_cast<uint16_t>(connection_), &value);
        thread_.join();
    }
    DiscardPeer(const DiscardPeer&) = delete;
    DiscardPeer& operator=(const DiscardPeer&) = delete;
    uint16_t connection() const { return static_cast<uint16_t>(connection_); }

private:
    std::unique_ptr<ztsock::Listener> listener_;
    std::thread thread_;
    int32_t connection_ = -1;
};

// A local file of `size` bytes: 80-byte text lines ending in CR LF, or
// bytes that are no text.
intptr_t SourceFile(size_t size, bool text) {
    char name[] = "/tmp/zel-bench-source-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) throw std::runtime_error("no temporary file");
    ::unlink(name);
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        const size_t column = i % 80;
        bytes[i] = !text ? static_cast<uint8_t>(i * 131 + 7)
                   : column == 78 ? '\r'
                   : column == 79 ? '\n'
                                  : static_cast<uint8_t>('a' + (i / 80 + column) % 26);
    }
    if (::write(fd, bytes.data(), size) != static_cast<ssize_t>(size)) throw std::runtime_error("write failed");
    return static_cast<intptr_t>(fd) + 1;  // the host layer's handles are descriptors plus one
}

// Cuts a 4 MiB local file into records and sends them, each run from the
// start of the file; `stream`: toward a stream peer (zeld's personality).
void UploadFile(benchmark::State& state, uint8_t dataType, uint8_t rac, bool text, bool stream) {
    constexpr size_t kSize = 4 << 20;
    DiscardPeer peer;
    ConversionContext context;
    context->connectionId = peer.connection();
    context->lastSentType = wire::kConfiguration;
    context->sentAttributes.dataType = dataType;
    context->sentAttributes.mrs = 512;
    context->sentAttributes.rfm = wire::kRfmVariable;
    context->sentAttributes.fsz = 0;
    context->sentControl.rac = rac;
    if (stream) context->peerSyscap[7] = 0x60;  // SYSCAP bits 54 and 55
    context->sourceFile = SourceFile(kSize, text);
    for (auto _ : state) {
        ::lseek(static_cast<int>(context->sourceFile - 1), 0, SEEK_SET);
        if (ZelUploadFile(context.get()) < 0) state.SkipWithError("upload failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void UploadTextLines(benchmark::State& state) { UploadFile(state, kDataTypeText, 3, true, false); }
void UploadImageRecords(benchmark::State& state) { UploadFile(state, kDataTypeImage, 3, false, false); }
void UploadBlockTransfer(benchmark::State& state) { UploadFile(state, kDataTypeImage, kBlockTransfer, false, false); }
void UploadStreamRecords(benchmark::State& state) { UploadFile(state, kDataTypeImage, kBlockTransfer, false, true); }

BENCHMARK(DownloadTextLine);
BENCHMARK(DownloadTextBlock);
BENCHMARK(DownloadFortranLine);
BENCHMARK(DownloadStreamRecord);
BENCHMARK(UploadTextLines)->UseRealTime();
BENCHMARK(UploadImageRecords)->UseRealTime();
BENCHMARK(UploadBlockTransfer)->UseRealTime();
BENCHMARK(UploadStreamRecords)->UseRealTime();

}  // namespace
