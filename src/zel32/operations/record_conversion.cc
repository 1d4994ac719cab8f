#include "zel32/operations/record_conversion.h"

#include <algorithm>
#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "wire/record_format.h"
#include "zel32/operations/copy_progress.h"
#include "zel32/protocol/access_control.h"
#include "zel32/protocol/context.h"
#include "zel32/protocol/data_message.h"
#include "zel32/protocol/receive_path.h"
#include "zel32/protocol/send_path.h"
#include "zel32/protocol/templates.h"
#include "zel32/transport/local_file.h"
#include "zel32/transport/memory.h"

namespace {

using namespace wire;

constexpr uint8_t kLineFeed = 0x0A;
constexpr uint8_t kCarriageReturn = 0x0D;
constexpr uint8_t kFormFeed = 0x0C;
constexpr uint8_t kEndOfFileMark = 0x1A;

// ---- Download --------------------------------------------------------------

// The carriage-control bytes written before or after one record: at most
// 127 line feeds of a print control and four more.
struct ControlBytes {
    uint8_t bytes[136];
    size_t length = 0;

    void Put(uint8_t byte) { bytes[length++] = byte; }
    void PutRepeated(uint8_t byte, size_t count) {
        std::memset(bytes + length, byte, count);
        length += count;
    }
};

// The print control of a byte: below 0x80 that many line feeds; else one
// character, `standard` when it has bit 0x20.
void PutPrintControl(ControlBytes& out, uint8_t control, uint8_t standard) {
    if (control < 0x80) {
        out.PutRepeated(kLineFeed, control);
    } else if ((control & 0x20) != 0) {
        out.Put(standard);
    } else {
        out.Put((control & 0x40) != 0 ? control & 0x9F : control & 0x1F);
    }
}

// Fortran carriage control before the record: "+" nothing, "0" two line
// feeds, "1" a form feed, anything else (a space, a NUL) one line feed.
void PutFortranBefore(ControlBytes& out, uint8_t control) {
    switch (control) {
    case '+': return;
    case '0': out.PutRepeated(kLineFeed, 2); return;
    case '1': out.Put(kFormFeed); return;
    default: out.Put(kLineFeed); return;
    }
}

// Writes to the download's local file, adding what got written to
// bytesTransferred. False (error 1 recorded) when the write failed.
bool WritePieces(ZelContext* context, const host::WritePiece* pieces, size_t count) {
    size_t written = 0;
    const int32_t result = RfaWriteLocalPieces(context, context->localFile, pieces, count, &written);
    ZelCountCopied(context, written);
    return result >= 0;
}

// A copy's local buffer: an upload reads bufferSize bytes at a time into it
// (the reads decide where records are cut), a download gathers its records
// in all of it, so that the local file is written in large pieces.
constexpr size_t kLocalBufferSize = size_t{1} << 20;
// A record (at most a transmission block) and its controls always fit.
static_assert(kLocalBufferSize >= 2 * kBufferSize);

// Peers whose records never get a line end added: their file systems keep
// line ends in the data.
bool AddsLineEnds(const ZelContext* context, uint8_t rat) {
    return (rat & kRatImpliedLineEnd) != 0 && ZelTextTransfer(context) && !ZelBlockModePeer(context) && !ZelStreamPeer(context);
}

// How the records of a download become local bytes: fixed by the remote
// file's RFM and RAT and the copy's mode, so worked out once for the
// records of a block rather than for each.
struct DownloadPlan {
    bool fortran;
    bool print;
    bool recordEnded;         // RFM says each record ends with its own line end
    bool lineFeedEnded;
    bool dropLineFeed;        // a text record's own line feed goes, the line end comes back below
    bool plain;               // neither Fortran nor print carriage control
    uint8_t lineEnd[2];       // the line end added behind each record: CR LF, LF or nothing
    size_t lineEndLength;
};

DownloadPlan PlanFor(const ZelContext* context) {
    const uint8_t rat = context->attributes.rat[0];
    const uint8_t rfm = context->attributes.rfm;
    DownloadPlan plan{};
    plan.fortran = (rat & kRatFortran) != 0;
    plan.print = (rat & kRatPrintFormat) != 0;
    plan.lineFeedEnded = rfm == kRfmLineFeedEnded;
    plan.recordEnded = rfm == kRfmLineFeedEnded || rfm == kRfmCarriageReturnEnded;
    plan.plain = !plan.fortran && !plan.print;
    if (AddsLineEnds(context, rat)) {
        if (rfm != kRfmCarriageReturnEnded) plan.lineEnd[plan.lineEndLength++] = kCarriageReturn;
        plan.lineEnd[plan.lineEndLength++] = kLineFeed;
    }
    // A record's own line feed gives way only to the line end added behind
    // it or to its print controls: where neither comes (no implied line
    // end, a stream peer), taking it would run the lines together.
    plan.dropLineFeed = plan.lineFeedEnded && context->sentControl.rac != kRacBlockTransfer && !plan.fortran &&
                        ZelTextTransfer(context) && (plan.lineEndLength != 0 || plan.print);
    return plan;
}

// Converts one record and puts it, with its controls, in one piece behind
// the records waiting in recordBuffer.
bool PutRecord(ZelContext* context, const DownloadPlan& plan, const ZelRecordView& record) {
    if (plan.plain) {
        // No carriage control: the record, less its own line feed, and the line end added.
        size_t length = record.length;
        if (plan.dropLineFeed && length != 0 && record.data[length - 1] == kLineFeed) --length;
        const size_t total = length + plan.lineEndLength;
        if (context->localBuffered + total > kLocalBufferSize && !ZelFlushDownload(context)) return false;
        uint8_t* out = context->recordBuffer + context->localBuffered;
        std::memcpy(out, record.data, length);
        for (size_t i = 0; i < plan.lineEndLength; ++i) out[length + i] = plan.lineEnd[i];
        context->localBuffered += static_cast<uint32_t>(total);
        return true;
    }
    const uint8_t* data = record.data;
    size_t length = record.length;
    const uint8_t control = length != 0 ? data[0] : 0;  // the Fortran control character
    ControlBytes before;
    ControlBytes after;

    if (plan.print && record.printPrefix != 0) PutPrintControl(before, record.printPrefix, kCarriageReturn);
    if (plan.fortran) PutFortranBefore(before, control);

    if (length != 0) {
        if (plan.dropLineFeed && data[length - 1] == kLineFeed) --length;
        if (plan.fortran) {
            ++data;
            --length;
            // Only the record's own terminator (the line feed of RFM 5, the
            // carriage return of RFM 6) is taken or turned into a carriage
            // return: a record without one, such as a file's last, keeps
            // all its data.
            const uint8_t terminator = plan.lineFeedEnded ? kLineFeed : kCarriageReturn;
            const bool terminated = plan.recordEnded && length > 0 && data[length - 1] == terminator;
            if (control == '$' && plan.recordEnded) {
                if (terminated) --length;
            } else if (plan.lineFeedEnded && length > 0) {
                if (terminated) --length;
                after.Put(kCarriageReturn);
            }
        }
    }
    if (plan.print && record.printPostfix != 0) PutPrintControl(after, record.printPostfix, kLineFeed);
    if (plan.fortran && control != '$' && !plan.recordEnded) after.Put(kCarriageReturn);
    for (size_t i = 0; i < plan.lineEndLength; ++i) after.Put(plan.lineEnd[i]);

    const size_t total = before.length + length + after.length;
    if (context->localBuffered + total > kLocalBufferSize && !ZelFlushDownload(context)) return false;
    // The controls are a few bytes as a rule, the record most of it.
    uint8_t* out = context->recordBuffer + context->localBuffered;
    for (size_t i = 0; i < before.length; ++i) *out++ = before.bytes[i];
    std::memcpy(out, data, length);
    out += length;
    for (size_t i = 0; i < after.length; ++i) *out++ = after.bytes[i];
    context->localBuffered += static_cast<uint32_t>(total);
    return true;
}

// ---- Upload ----------------------------------------------------------------

// Stream and image records are cut at this many bytes, and at the end of
// every block read; toward a peer whose buffer is too small for a record
// of this length in one Data message, at what its blocks hold.
constexpr size_t kRecordCut = 512;

// Text mode: the bytes that end, or are dropped from, a record.
constexpr std::array<bool, 256> kTextControls = [] {
    std::array<bool, 256> table{};
    table[kLineFeed] = table[kCarriageReturn] = table[kEndOfFileMark] = true;
    return table;
}();

// Where the next byte of kTextControls is in block[at, count), or count when
// there is none: sixteen bytes a step, then byte by byte.
size_t NextTextControl(const uint8_t* block, size_t at, size_t count) {
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi8(static_cast<char>(kLineFeed));
    const __m128i carriageReturn = _mm_set1_epi8(static_cast<char>(kCarriageReturn));
    const __m128i endOfFile = _mm_set1_epi8(static_cast<char>(kEndOfFileMark));
    for (; at + 16 <= count; at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + at));
        const __m128i found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, lineFeed), _mm_cmpeq_epi8(bytes, carriageReturn)),
                                           _mm_cmpeq_epi8(bytes, endOfFile));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(found));
        if (mask != 0) return at + static_cast<size_t>(__builtin_ctz(mask));
    }
#endif
    while (at < count && !kTextControls[block[at]]) ++at;
    return at;
}

// The two fixed-control bytes that begin each text record when the sent
// Attributes announced a print control area (FSZ).
constexpr uint8_t kFixedControl[2] = {0x01, 0x8D};

enum class Cutting { kStream, kText, kImage };

struct Cutter {
    Cutting mode;
    size_t textLimit;   // text: a record this long is sent before the next byte
    size_t recordCut;   // stream and image: records are cut at this length
    size_t padTo;       // image: a shorter record is padded with zeros to this
    bool controlArea;   // text: records begin with the fixed-control bytes
    bool atStart;       // text: the pending record is at its start
};

// Sends the pending record (the first workLength bytes of workBuffer).
int SendRecord(ZelContext* context) {
    const int sent = ZelSendMessage(context, kData);
    context->workLength = 0;
    return sent;
}

// Sends a whole record from where it lies in the block read, with nothing
// of it waiting in workBuffer.
int SendSlice(ZelContext* context, const uint8_t* record, size_t length) {
    context->workSlice = record;
    context->workLength = static_cast<int32_t>(length);
    const int sent = ZelSendMessage(context, kData);
    context->workSlice = nullptr;
    context->workLength = 0;
    return sent;
}

// Records of `cut` bytes sent from where they lie in the block read (no
// record spans two blocks).
int SendSlices(ZelContext* context, size_t cut, const uint8_t* block, size_t count) {
    for (size_t at = 0; at < count; at += cut) {
        if (SendSlice(context, block + at, std::min(cut, count - at)) < 0) return -1;
    }
    return 1;
}

void Append(ZelContext* context, const uint8_t* bytes, size_t count) {
    std::memcpy(context->workBuffer + context->workLength, bytes, count);
    context->workLength += static_cast<int32_t>(count);
}

// Sends the pending record, an image record shorter than MRS padded with
// zeros to it.
int SendPadded(ZelContext* context, const Cutter& cutter) {
    const auto length = static_cast<size_t>(context->workLength);
    if (cutter.padTo > length) {
        std::memset(context->workBuffer + length, 0, cutter.padTo - length);
        context->workLength = static_cast<int32_t>(cutter.padTo);
    }
    return SendRecord(context);
}

// Stream and image mode: records of 512 bytes, the last one of each block
// shorter. Where image records are padded, a record is instead carried on
// into the next block read, so that only the file's last record is padded:
// a block need not hold whole records (a peer's buffer size that is no
// multiple of the cut, a short read from a pipe), and zeros padded into the
// middle would change the file.
int CutFixed(ZelContext* context, const Cutter& cutter, const uint8_t* block, size_t count) {
    if (cutter.padTo == 0) return SendSlices(context, cutter.recordCut, block, count);
    size_t at = 0;
    while (at < count) {
        const size_t take = std::min(cutter.recordCut - static_cast<size_t>(context->workLength), count - at);
        Append(context, block + at, take);
        at += take;
        if (static_cast<size_t>(context->workLength) < cutter.recordCut) break;
        if (SendPadded(context, cutter) < 0) return -1;
    }
    return 1;
}

void BeginTextRecord(ZelContext* context, Cutter& cutter) {
    if (cutter.atStart && cutter.controlArea) Append(context, kFixedControl, sizeof kFixedControl);
    cutter.atStart = false;
}

// Text mode: a carriage return ends a record, line feeds and 0x1A are
// dropped, and a record that has grown to the limit is sent before the next
// byte (without the fixed-control bytes). Runs of other bytes are copied
// whole.
int CutText(ZelContext* context, Cutter& cutter, const uint8_t* block, size_t count) {
    size_t at = 0;
    while (at < count) {
        const uint8_t byte = block[at];
        if (kTextControls[byte]) {
            if (byte != kEndOfFileMark) BeginTextRecord(context, cutter);
            ++at;
            if (byte == kCarriageReturn) {
                if (SendRecord(context) < 0) return -1;
                cutter.atStart = true;
            }
            continue;
        }
        const size_t end = NextTextControl(block, at + 1, count);
        BeginTextRecord(context, cutter);
        // A whole line of the block, ended by its CR and no longer than the
        // limit, is sent from where it lies: the same record as gathered.
        if (context->workLength == 0 && end < count && block[end] == kCarriageReturn && end - at <= cutter.textLimit) {
            if (SendSlice(context, block + at, end - at) < 0) return -1;
            at = end + 1;
            cutter.atStart = true;
            continue;
        }
        while (at < end) {
            if (static_cast<size_t>(context->workLength) >= cutter.textLimit && SendRecord(context) < 0) return -1;
            const size_t take = std::min(end - at, cutter.textLimit - static_cast<size_t>(context->workLength));
            Append(context, block + at, take);
            at += take;
        }
    }
    return 1;
}

// The mode is chosen once for the whole copy, the first that applies.
Cutter CutterFor(const ZelContext* context) {
    const ZelAttributes& sent = context->sentAttributes;
    const uint8_t rac = context->sentControl.rac;
    Cutter cutter{};
    cutter.atStart = true;
    cutter.recordCut = std::min(kRecordCut, context->bufferSize - kDataMessageOverhead);
    if (ZelStreamPeer(context)) {
        cutter.mode = Cutting::kStream;
    } else if (ZelTextTransfer(context) && rac != kRacBlockTransfer) {
        cutter.mode = Cutting::kText;
        cutter.textLimit = context->bufferSize / 2u;
        // Fixed-length records are also cut at MRS. An MRS of 0 sets no
        // length, so it cuts nothing.
        if (sent.rfm == kRfmFixed && sent.mrs != 0) cutter.textLimit = std::min<size_t>(cutter.textLimit, sent.mrs);
        cutter.controlArea = sent.fsz != 0;
    } else {
        cutter.mode = Cutting::kImage;
        if (rac != kRacBlockTransfer) cutter.padTo = sent.mrs;
        // Records are padded to MRS: one cut shorter would carry zeros into
        // the middle of the file. An MRS above the cut is the length of
        // every record but the last (it fits a block: the Attributes
        // encoder refuses a larger one).
        cutter.recordCut = std::max<size_t>(cutter.recordCut, cutter.padTo);
    }
    return cutter;
}

}  // namespace

int ZelPrepareLocalBuffer(ZelContext* context) {
    context->localBuffered = 0;
    if (context->recordBuffer != nullptr) return 1;
    context->recordBuffer = static_cast<uint8_t*>(RfaAllocBlock(context, kLocalBufferSize));
    return context->recordBuffer != nullptr ? 1 : -1;
}

bool ZelFlushDownload(ZelContext* context) {
    const uint32_t buffered = context->localBuffered;
    context->localBuffered = 0;
    if (buffered == 0) return true;
    const host::WritePiece piece = {context->recordBuffer, buffered};
    return WritePieces(context, &piece, 1);
}

namespace {

bool DownloadRecordsFrom(ZelContext* context, const ZelRecordView& first, bool firstInPlace) {
    const DownloadPlan plan = PlanFor(context);
    bool written = PutRecord(context, plan, first);
    // The Data messages behind it in the block are converted where they
    // lie, with no decoding into the context for each; what the last one
    // taken leaves behind is then noted.
    ZelRecordView record = first;
    bool taken = firstInPlace;
    while (written && ZelTakeDataInPlace(context, &record)) {
        taken = true;
        written = PutRecord(context, plan, record);
    }
    if (taken) ZelNoteRecordWritten(context, record);
    return written;
}

}  // namespace

bool ZelDownloadRecords(ZelContext* context) { return DownloadRecordsFrom(context, ZelLastRecord(context), false); }

bool ZelDownloadRecordsInPlace(ZelContext* context, const ZelRecordView& first) {
    return DownloadRecordsFrom(context, first, true);
}

int ZelUploadFile(ZelContext* context) {
    Cutter cutter = CutterFor(context);
    context->workLength = 0;
    for (;;) {
        const int32_t count = RfaReadLocalFile(context, context->sourceFile, context->recordBuffer, context->bufferSize);
        if (count < 0) return -1;
        if (count == 0) break;
        ZelCountCopied(context, static_cast<uint64_t>(count));
        const auto size = static_cast<size_t>(count);
        const int cut = cutter.mode == Cutting::kText ? CutText(context, cutter, context->recordBuffer, size)
                                                      : CutFixed(context, cutter, context->recordBuffer, size);
        if (cut < 0) return -1;
    }
    if (context->workLength > 0 && SendPadded(context, cutter) < 0) return -1;
    return 1;
}
