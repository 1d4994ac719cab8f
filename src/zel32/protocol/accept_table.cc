#include "zel32/protocol/accept_table.h"

#include <array>

#include "wire/message_types.h"
#include "zel32/protocol/context.h"

namespace {

using namespace wire;

constexpr uint32_t Types(std::initializer_list<MessageType> types) {
    uint32_t mask = 0;
    for (MessageType t : types) mask |= TypeBit(t);
    return mask;
}

// The descriptive replies to an Access: Attributes, Acknowledge, Access
// Complete, Date and Time, Protection, Name and CDA Semantics.
constexpr uint32_t kAttributeReplies =
    Types({kAttributes, kAcknowledge, kAccessComplete, kDateAndTime, kProtection, kName, kCdaSemantics});
static_assert(kAttributeReplies == 0x27062);

constexpr int kRows = 19;
using AcceptTable = std::array<std::array<uint32_t, kRows>, kRows>;

struct AcceptRow {
    RfaOperation operation;
    MessageType sent;
    uint32_t replies;
};

constexpr AcceptRow kRowsOfTable[] = {
    {kOpOpenLink, kConfiguration, Types({kConfiguration})},
    {kOpAbort, kContinueTransfer, Types({kAccessComplete})},
    {kOpAbort, kAccessComplete, Types({kAccessComplete, kData, kStatus})},
    {kOpAbort, kData, Types({kAccessComplete})},
    {kOpCopy, kAccess, kAttributeReplies},
    {kOpCopy, kControl, Types({kAcknowledge, kData, kStatus})},
    {kOpCopy, kContinueTransfer, Types({kAccessComplete})},
    {kOpCopy, kAccessComplete, Types({kAccessComplete, kData, kStatus})},
    {kOpCopy, kData, Types({kAccessComplete})},
    {kOpOpenFile, kAccess, kAttributeReplies},
    {kOpOpenFile, kControl, Types({kAcknowledge})},
    {kOpReadFile, kControl, Types({kAcknowledge, kData, kStatus})},
    // Closing a file whose records were being read: the rest of the stream
    // may only be its end-of-file Status. After the Access Complete, the
    // peer may report an error about records written with Write.
    {kOpCloseFile, kControl, Types({kStatus})},
    {kOpCloseFile, kAccessComplete, Types({kAccessComplete, kStatus})},
    {kOpDelete, kAccess, kAttributeReplies},
    {kOpDelete, kAccessComplete, Types({kAccessComplete})},
    {kOpDir, kAccess, kAttributeReplies | Types({kStatus})},
    {kOpDir, kContinueTransfer, kAttributeReplies | Types({kStatus})},
    {kOpDir, kAccessComplete, Types({kAccessComplete})},
    {kOpMd, kAccess, kAttributeReplies},
    {kOpRd, kAccess, kAttributeReplies},
    {kOpPrint, kAccess, kAttributeReplies},
    {kOpPrint, kAccessComplete, Types({kAccessComplete})},
    {kOpProtection, kAccess, kAttributeReplies},
    {kOpProtection, kControl, Types({kAcknowledge})},
    {kOpProtection, kAccessComplete, Types({kAccessComplete})},
    {kOpRename, kName, kAttributeReplies},
    {kOpRename, kContinueTransfer, Types({kContinueTransfer, kAccessComplete})},
    {kOpRename, kAccessComplete, Types({kAccessComplete})},
    {kOpSubmit, kAccess, kAttributeReplies},
    {kOpSubmit, kAccessComplete, Types({kAccessComplete})},
};

constexpr AcceptTable MakeAcceptTable() {
    AcceptTable table{};
    for (const AcceptRow& row : kRowsOfTable) table[row.operation][row.sent] = row.replies;
    return table;
}

constexpr AcceptTable kAcceptTable = MakeAcceptTable();

}  // namespace

uint32_t ZelAcceptMask(unsigned operation, unsigned sentType) {
    if (operation >= kRows || sentType >= kRows) return 0;
    return kAcceptTable[operation][sentType];
}
