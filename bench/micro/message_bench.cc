// The message encoders and decoders of the library: Data messages of the
// sizes a copy sends (a text line, an image record, a full block), the
// descriptive and control messages of an access, and the receive path
// cutting a block of text-line records into messages.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench_link.h"
#include "wire/header.h"
#include "wire/message_types.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"

namespace {

using zelbench::BenchLink;

// Encodes one message at the start of the send block, as the send path does
// before it fills in the length.
void EncodeMessages(benchmark::State& state, uint8_t type, size_t recordLength) {
    BenchLink context;
    for (size_t i = 0; i < recordLength; ++i) context->workBuffer[i] = static_cast<uint8_t>('a' + i % 26);
    context->workLength = static_cast<int32_t>(recordLength);
    for (auto _ : state) {
        context->writeCursor = 0;
        if (ZelEncodeMessage(context.get(), type) < 0) state.SkipWithError("encode failed");
        wire::FillLength(context->sendBuffer, context->writeCursor);
        benchmark::DoNotOptimize(context->sendBuffer);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    if (recordLength != 0) state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * recordLength));
}

void EncodeData(benchmark::State& state) { EncodeMessages(state, wire::kData, static_cast<size_t>(state.range(0))); }
void EncodeAttributes(benchmark::State& state) { EncodeMessages(state, wire::kAttributes, 0); }
void EncodeAccess(benchmark::State& state) { EncodeMessages(state, wire::kAccess, 0); }
void EncodeControl(benchmark::State& state) { EncodeMessages(state, wire::kControl, 0); }
void EncodeAccessComplete(benchmark::State& state) { EncodeMessages(state, wire::kAccessComplete, 0); }

// A received block full of Data messages of `recordLength` bytes each (the
// header with a two-byte length, as zeld sends them), followed by a Status.
size_t DataBlock(uint8_t* block, size_t recordLength, size_t* records) {
    size_t used = 0;
    *records = 0;
    while (used + 5 + recordLength + 6 <= kBufferSize) {
        uint8_t* message = block + used;
        const size_t header = wire::BuildHeader(message, wire::kData, 0x06);
        message[header] = 0;  // RECNUM
        for (size_t i = 0; i < recordLength; ++i) message[header + 1 + i] = static_cast<uint8_t>('a' + i % 26);
        wire::FillLength(message, header + 1 + recordLength);
        used += header + 1 + recordLength;
        ++*records;
    }
    return used;
}

// The receive path without the transport: the block is in the receive
// buffer, and each message is parsed and decoded in place into recordData.
void DecodeDataBlock(benchmark::State& state) {
    BenchLink context;
    const auto recordLength = static_cast<size_t>(state.range(0));
    size_t records = 0;
    const size_t length = DataBlock(context->receiveBuffer, recordLength, &records);
    for (auto _ : state) {
        context->readCursor = 0;
        context->blockRemaining = static_cast<int32_t>(length);
        while (context->blockRemaining > 0) {
            const int body = ZelParseHeader(context.get());
            if (body < 0 || ZelDecodeMessage(context.get(), body) != 2) {
                state.SkipWithError("decode failed");
                break;
            }
        }
        benchmark::DoNotOptimize(context->recordData);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * records));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * records * recordLength));
}

// One message body of each kind zeld sends before the records: decoded as
// the dispatch does.
void DecodeBody(benchmark::State& state, uint8_t type, const uint8_t* body, size_t length) {
    BenchLink context;
    std::memcpy(context->receiveBuffer, body, length);
    for (auto _ : state) {
        context->messageBody = 0;
        context->readCursor = 0;
        context->lastReceivedType = type;
        benchmark::DoNotOptimize(ZelDecodeMessage(context.get(), static_cast<int>(length)));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void DecodeAttributes(benchmark::State& state) {
    // Menu, DATATYPE text, ORG sequential, RFM variable, RAT implied line
    // end, BLS, MRS, ALQ, EBK, FFB.
    static const uint8_t body[] = {0xaf, 0x80, 0x30, 0x01, 0x00, 0x02, 0x02, 0x00, 0x02, 0x00, 0x00,
                                   0x04, 0x01, 0x00, 0x00, 0x00, 0x0c, 0x00};
    DecodeBody(state, wire::kAttributes, body, sizeof body);
}

void DecodeStatus(benchmark::State& state) {
    static const uint8_t body[] = {0x27, 0x50};  // the end of file
    DecodeBody(state, wire::kStatus, body, sizeof body);
}

void DecodeName(benchmark::State& state) {
    static const char name[] = "[DIRECTORY.SUB]REMOTE-FILE.TXT;1";
    uint8_t body[64];
    body[0] = 0x02;
    body[1] = static_cast<uint8_t>(sizeof name - 1);
    std::memcpy(body + 2, name, sizeof name - 1);
    DecodeBody(state, wire::kName, body, 2 + sizeof name - 1);
}

BENCHMARK(EncodeData)->Arg(80)->Arg(512)->Arg(32251);
BENCHMARK(EncodeAttributes);
BENCHMARK(EncodeAccess);
BENCHMARK(EncodeControl);
BENCHMARK(EncodeAccessComplete);
BENCHMARK(DecodeDataBlock)->Arg(79)->Arg(512)->Arg(32000);
BENCHMARK(DecodeAttributes);
BENCHMARK(DecodeStatus);
BENCHMARK(DecodeName);

}  // namespace
