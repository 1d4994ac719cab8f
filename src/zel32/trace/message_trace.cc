#include "zel32/trace/message_trace.h"

#include <cstdio>
#include <cstring>

#include "zel32/host/local_files.h"
#include "zel32/host/text.h"
#include "zel32/protocol/context.h"
#include "zel32/resources/strings.h"

int ZelTraceWrite(ZelContext* context, const char* text, size_t length, size_t before) {
    size_t written = 0;
    if (host::WriteFile(context->traceFile, text, length, &written) < 0) {
        RfaSetError(context, RFA_ERR_LOCAL_IO, static_cast<int32_t>(before + written));
        return -1;
    }
    return 1;
}

namespace {

// Formats into a buffer and writes it in one call.
template <typename... Args>
int TraceFormatted(ZelContext* context, const char* format, Args... args) {
    char text[1024];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int length = std::snprintf(text, sizeof text, format, args...);
#pragma GCC diagnostic pop
    if (length < 0) return -1;
    const size_t size = static_cast<size_t>(length) < sizeof text ? static_cast<size_t>(length) : sizeof text - 1;
    return ZelTraceWrite(context, text, size);
}

}  // namespace

int ZelTraceMessage(ZelContext* context, bool sent, unsigned type, uint8_t flags, int length,
                    const uint8_t* bytes, size_t dumpLength) {
    if (type > 19) type = 0;
    char timeText[32];
    host::LocalTimeText(timeText, sizeof timeText);
    host::UpperCaseInPlace(context->link->nodeName);
    char text[1024];
    const char* typeName = ZelMessageTypeName(type);
    const char* blocked = flags != 0 ? "Blocked" : "Unblocked";
    const char* operationName = ZelOperationName(context->operation);
    const int size = sent ? std::snprintf(text, sizeof text, ZEL_TRACE_SENT_FORMAT, typeName, blocked,
                                          context->link->nodeName, 0, length, timeText, operationName)
                          : std::snprintf(text, sizeof text, ZEL_TRACE_RECEIVED_FORMAT, typeName, blocked,
                                          context->link->nodeName, 0, length, timeText, operationName);
    if (size < 0) return -1;
    // The longest node, type and operation names fit; a longer text is cut.
    const size_t textLength = static_cast<size_t>(size) < sizeof text ? static_cast<size_t>(size) : sizeof text - 1;
    if (ZelTraceWrite(context, text, textLength) < 0) return -1;
    if (dumpLength == 0) return 1;

    // Each byte as two hex digits; "\r\n   " before bytes 0, 20, 40, ...,
    // one space before the others. Written a few kilobytes at a time; a
    // failure counts what the whole dump had written, as one write would.
    static constexpr char kHex[] = "0123456789abcdef";
    char dump[4096];
    size_t used = 0;
    size_t flushed = 0;
    for (size_t i = 0; i < dumpLength; ++i) {
        if (used > sizeof dump - 8) {
            if (ZelTraceWrite(context, dump, used, flushed) < 0) return -1;
            flushed += used;
            used = 0;
        }
        if (i % 20 == 0) {
            std::memcpy(dump + used, "\r\n   ", 5);
            used += 5;
        } else {
            dump[used++] = ' ';
        }
        dump[used++] = kHex[bytes[i] >> 4];
        dump[used++] = kHex[bytes[i] & 0x0F];
    }
    return ZelTraceWrite(context, dump, used, flushed);
}

int ZelTraceBlockLine(ZelContext* context, int which, int blockLength) {
    if (which == 1) return TraceFormatted(context, "\r\n\r\n    MSG(S) SENT OVER LINK (1) -           # bytes = %d", blockLength);
    return TraceFormatted(context, "\r\n\r\n MSG(S) SENT OVER LINK (2) -           # bytes = %d", blockLength);
}

int ZelTraceStatus(ZelContext* context, unsigned maccode, unsigned miccode) {
    static constexpr const char* kClassNames[16] = {
        "Pending", "Successful", "Unsupported", nullptr, "File Open", "Transfer Error", "Transfer Warning",
        "Access Termination", "Format", "Invalid", "Sync Error", nullptr, nullptr, nullptr, nullptr, nullptr};
    const char* className = kClassNames[maccode & 0x0F];
    if (className == nullptr) return 1;
    if (TraceFormatted(context, "\r\nMACCODE = %#01x (%s)", maccode, className) < 0) return -1;
    const bool messageError = maccode == 2 || maccode == 8 || maccode == 9;
    char name[100];
    std::snprintf(name, sizeof name, "%s",
                  messageError ? ZelFieldName(static_cast<uint16_t>(miccode))
                               : ZelOperationalText(static_cast<uint16_t>(miccode)));
    return TraceFormatted(context, messageError ? "\r\nMICCODE = %#03x (Message Error) %s"
                                                : "\r\nMICCODE = %#03x (Operational Error) %s",
                          miccode, name);
}

int ZelTraceStatistics(ZelContext* context) {
    static constexpr const char* kLabels[20] = {"",      "CNF: ", "ATT: ", "ACC: ", "CTL: ", "CTR: ", "ACK: ",
                                                "CMP: ", "DAT: ", "STA: ", "KEY: ", "ALC: ", "SUM: ", "DTM: ",
                                                "PRO: ", "NAM: ", "ACL: ", "CTB: ", "CDA: ", "TRA: "};
    if (TraceFormatted(context, ZEL_TRACE_STATISTICS_FORMAT, 0) < 0) return -1;
    for (int type = 1; type <= 19; ++type) {
        const char* prefix = (type - 1) % 3 == 0 ? "\r\n   " : "   ";
        if (TraceFormatted(context, "%s%s= %-4d/%-4d", prefix, kLabels[type], context->sentCount[type],
                           context->receivedCount[type]) < 0)
            return -1;
    }
    return 1;
}
