#include "zeld/session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "wire/header.h"
#include "wire/message_types.h"
#include "zeld/dates.h"
#include "zeld/protection.h"
#include "zeld/server_messages.h"
#include "zeld/write_pieces.h"

namespace zeld {
namespace {

// Access functions (ACCFUNC).
constexpr uint8_t kAccOpen = 1, kAccCreate = 2, kAccRename = 3, kAccErase = 4, kAccDirectory = 6, kAccSubmit = 8;
// File access bit (FAC) of an access that writes.
constexpr uint8_t kFacPut = 0x01;
// Control functions (CTLFUNC).
constexpr uint8_t kCtlGet = 1, kCtlConnect = 2, kCtlPut = 4;
// Access Complete functions (CMPFUNC).
constexpr uint8_t kCmpClose = 1, kCmpChangeBegin = 6, kCmpChangeEnd = 7;
// Continue Transfer function that ends a listing.
constexpr uint8_t kConAbort = 3;
// DISPLAY bits: main attributes, dates, protection, name.
constexpr unsigned kDisplayAttributes = 0, kDisplayDates = 4, kDisplayProtection = 5, kDisplayName = 8;
// The FOP bit of a file printed when it is closed (bit 20: 0x40 of byte 2).
constexpr uint8_t kFopSpoolByte = 2, kFopSpoolBit = 0x40;
// Records of a print-format file carry these control bytes: one line feed
// before, a carriage return after.
constexpr uint8_t kPrintControls[2] = {0x01, 0x8D};
// Fixed-length records (RFM 1): the client cuts lines at MRS too.
constexpr uint8_t kRfmFixed = 1;
constexpr const char kVolumeName[] = "ZELD:";
constexpr size_t kMaxNameLength = 255;  // the count of a Name's name

StatusValue StatusForSpecError(SpecError error) {
    switch (error) {
        case SpecError::kEscape: return kStatusPrivilege;
        case SpecError::kWildcardDirectory: return kStatusBadWildcard;
        case SpecError::kSyntax: return kStatusBadDirectoryName;
        case SpecError::kNone: break;
    }
    return kOk;
}

StatusValue StatusForHeader(wire::HeaderResult result, const wire::Header& header) {
    constexpr uint8_t kTypeField = 8, kFlagsField = 8, kLengthField = 10;
    switch (result) {
        case wire::HeaderResult::kTypeTooHigh: return MessageError(kMacFormat, 0, kTypeField);
        case wire::HeaderResult::kFlagsTooLong:
        case wire::HeaderResult::kRefusedFlags: return MessageError(kMacFormat, header.type, kFlagsField);
        default: return MessageError(kMacFormat, header.type, kLengthField);
    }
}

// Writes one record at the end of a file, with "\n" when records are lines,
// in one write: the file is open for appending, so records that two
// clients append to it at once never mix within a line.
StatusValue AppendRecord(int fd, const uint8_t* record, size_t length, bool asLine) {
    static char lineEnd[] = "\n";
    iovec pieces[2] = {{const_cast<uint8_t*>(record), length}, {lineEnd, 1}};
    return WritePieces(fd, pieces, asLine ? 2 : 1);
}

// CMPFUNC 6 or 7: the steps of a protection change.
bool ChangesProtection(const AccessCompleteMessage& complete) {
    return complete.cmpfunc == kCmpChangeBegin || complete.cmpfunc == kCmpChangeEnd;
}

std::string Outcome(StatusValue status) {
    char text[64];
    std::snprintf(text, sizeof text, "failed-%04X(%s)", status, StatusText(status));
    std::string outcome = text;
    for (char& c : outcome) {
        if (c == ' ') c = '-';
    }
    return outcome;
}

}  // namespace

Session::Session(const SessionSettings& settings, PeerIdentity peer, BlockSink* sink)
    : settings_(settings),
      personality_(settings.tree->personality()),
      peer_(std::move(peer)),
      outbox_(sink),
      upload_(new StagedFile(settings.log)),
      reader_(new RecordReader) {}

Session::~Session() { Abandon("dropped"); }

bool Session::busy() const {
    return phase_ != Phase::kUnconfigured && phase_ != Phase::kIdle && phase_ != Phase::kWindDown;
}

void Session::Abandon(const char* why) {
    if (accessActive_) EndAccess(why);
}

uint8_t* Session::ReceiveArea() {
    return phase_ == Phase::kReceiving && receiveFailure_ == kOk ? upload_->BlockArea(wire::kMaxBlock) : nullptr;
}

void Session::HandleBlock(const uint8_t* block, size_t length) {
    dropRestOfBlock_ = false;
    upload_->BeginBlock(block, length);
    size_t offset = 0;
    while (offset < length && !dropRestOfBlock_ && !outbox_.failed()) {
        wire::Header header;
        const wire::HeaderResult result = wire::ParseHeader(block + offset, length - offset, &header);
        if (result != wire::HeaderResult::kOk) {
            // Where the next message would begin is unknown: the rest goes.
            Fail(StatusForHeader(result, header));
            break;
        }
        const wire::Reader body(block + offset + header.headerLength, header.bodyLength);
        offset += header.headerLength + header.bodyLength;
        Dispatch(header.type, body);
    }
    upload_->EndBlock();
    outbox_.Flush();
}

void Session::Dispatch(uint8_t type, wire::Reader body) {
    if (phase_ == Phase::kUnconfigured && type != wire::kConfiguration) {
        SendStatus(SyncError(type));
        dropRestOfBlock_ = true;
        return;
    }
    switch (type) {
        case wire::kConfiguration: return OnConfiguration(body);
        case wire::kAttributes: return OnAttributes(body);
        case wire::kAccess: return OnAccess(body);
        case wire::kControl: return OnControl(body);
        case wire::kContinueTransfer: return OnContinueTransfer(body);
        case wire::kAccessComplete: return OnAccessComplete(body);
        case wire::kData: return OnData(body);
        case wire::kDateAndTime: return OnDateAndTime(body);
        case wire::kProtection: return OnProtection(body);
        case wire::kName: return OnName(body);
        case wire::kAcknowledge:
        case wire::kStatus: return OutOfOrder(type);
        default:
            // Types the server does not take (Key, Allocation, ...).
            if (phase_ == Phase::kWindDown) return;
            return Fail(MessageError(kMacUnsupported, type <= wire::kHighestType ? type : 0, 0));
    }
}

void Session::OnConfiguration(wire::Reader body) {
    ConfigurationMessage message;
    const StatusValue status = DecodeConfiguration(body, &message);
    if (status != kOk) {
        // An access under way ends with it: the client, told of an error,
        // winds it down, so an upload is not kept.
        if (accessActive_) {
            Fail(status);
        } else {
            SendStatus(status);
        }
        dropRestOfBlock_ = true;
        return;
    }
    // A Configuration starts afresh, whatever was under way.
    if (accessActive_) EndAccess("reset");
    hasAttributes_ = hasDates_ = requestFailed_ = false;
    constexpr unsigned kCapBlocking = 18, kCapLen256 = 20;
    outbox_.Configure(message.bufsiz, message.Has(kCapBlocking), message.Has(kCapLen256));
    ServerCapabilities capabilities;
    capabilities.personality = personality_;
    capabilities.canPrint = settings_.printer != nullptr;
    capabilities.canSubmit = settings_.submitter != nullptr;
    outbox_.PutConfiguration([&](wire::Writer& writer) { EncodeConfiguration(writer, capabilities); });
    phase_ = Phase::kIdle;
}

void Session::LeaveForNextAccess() {
    if (accessActive_) EndAccess("abandoned");
    if (busy()) phase_ = Phase::kIdle;
}

void Session::OnAttributes(wire::Reader body) {
    LeaveForNextAccess();
    // Attributes begin a request: an earlier one's failure is behind it.
    requestFailed_ = false;
    const StatusValue status = DecodeAttributes(body, &attributes_);
    if (status != kOk) return FailRequest(status);
    hasAttributes_ = true;
}

void Session::OnDateAndTime(wire::Reader body) {
    LeaveForNextAccess();
    const StatusValue status = DecodeDateAndTime(body, &dates_);
    if (status != kOk) return FailRequest(status);
    hasDates_ = true;
}

void Session::FailRequest(StatusValue status) {
    hasAttributes_ = hasDates_ = false;
    requestFailed_ = true;
    Fail(status);
}

void Session::OnAccess(wire::Reader body) {
    if (requestFailed_) {
        // Already answered by the description's error Status; the session
        // stays winding down, passing over a rename's Name as well.
        requestFailed_ = false;
        return;
    }
    LeaveForNextAccess();
    phase_ = Phase::kIdle;
    const StatusValue decoded = DecodeAccess(body, &access_);
    accessActive_ = true;
    operation_ = "access";
    bytes_ = 0;
    // A malformed Access may be of a rename whose Name is still to come:
    // the session winds down, passing over what belongs to it.
    if (decoded != kOk) return Fail(decoded);

    FileSpec spec;
    const SpecError specError = ParseFileSpec(access_.fileSpec, personality_, &spec);
    switch (access_.accfunc) {
        case kAccOpen: operation_ = "open"; break;
        case kAccCreate: operation_ = (access_.fac & kFacPut) != 0 ? "upload" : "md"; break;
        case kAccRename: operation_ = "rename"; break;
        case kAccErase: operation_ = "delete"; break;
        case kAccDirectory: operation_ = "dir"; break;
        case kAccSubmit: operation_ = "submit"; break;
        default: return Refuse(MessageError(kMacUnsupported, wire::kAccess, field::kAccFunc));
    }
    if (access_.accfunc == kAccRename) {
        // Nothing is answered before the Name with the new name has come.
        renameRefusal_ = settings_.readOnly ? kStatusPrivilege : StatusForSpecError(specError);
        phase_ = Phase::kRenaming;
        return;
    }
    if (specError != SpecError::kNone) return Refuse(StatusForSpecError(specError));
    switch (access_.accfunc) {
        case kAccOpen: return OpenExisting(spec);
        case kAccCreate: return (access_.fac & kFacPut) != 0 ? CreateUpload(spec) : MakeDirectory(spec);
        case kAccErase: return Erase(spec);
        case kAccDirectory: return List(spec);
        case kAccSubmit: return Submit(spec);
        default: break;
    }
}

void Session::OpenExisting(const FileSpec& spec) {
    const StatusValue status = settings_.tree->OpenEntry(spec, &file_);
    if (status != kOk) return Refuse(status);
    presentation_ = PresentFile(personality_, file_.realName, image(), Purpose::kDescribe);
    if (!Describe(file_.info, file_.directory, file_.realName, file_.isDirectory, presentation_)) {
        return RefuseUnsentName();
    }
    phase_ = Phase::kOpened;
}

void Session::CreateUpload(const FileSpec& spec) {
    if (settings_.readOnly) return Refuse(kStatusPrivilege);
    CreateTarget target;
    StatusValue status = settings_.tree->FindCreateTarget(spec, &target);
    if (status != kOk) return Refuse(status);
    const std::vector<std::string> directory = target.parent.names();
    status = upload_->Create(std::move(target), StoresRecordsAsLines(personality_, image()), settings_.newFileMode);
    if (status != kOk) return Refuse(status);
    receiveFailure_ = kOk;
    struct stat info {};
    info.st_mode = S_IFREG | settings_.newFileMode;
    info.st_uid = ::geteuid();
    info.st_mtime = ::time(nullptr);
    time_t sent;
    if (hasDates_ && (ParseDate(dates_.rdt, &sent) || ParseDate(dates_.cdt, &sent))) info.st_mtime = sent;
    presentation_ = PresentFile(personality_, upload_->targetName(), image(), Purpose::kDescribe);
    if (!Describe(info, directory, upload_->targetName(), false, presentation_)) return RefuseUnsentName();
    phase_ = Phase::kCreated;
}

void Session::MakeDirectory(const FileSpec& spec) {
    if (settings_.readOnly) return Refuse(kStatusPrivilege);
    const StatusValue status = settings_.tree->MakeDirectory(spec);
    if (status != kOk) return Refuse(status);
    Succeed();
}

void Session::Erase(const FileSpec& spec) {
    if (settings_.readOnly) return Refuse(kStatusPrivilege);
    size_t removed = 0;
    const StatusValue status = settings_.tree->Remove(spec, &removed);
    bytes_ = removed;  // the log counts the entries removed
    if (status != kOk) return Refuse(status);
    Succeed();
}

void Session::Submit(const FileSpec& spec) {
    if (settings_.submitter == nullptr) return Refuse(MessageError(kMacUnsupported, wire::kAccess, field::kAccFunc));
    StatusValue status = settings_.tree->OpenEntry(spec, &file_);
    if (status != kOk) return Refuse(status);
    if (file_.isDirectory) return Refuse(kStatusProtected);
    bytes_ = static_cast<uint64_t>(file_.info.st_size);
    status = settings_.submitter->Hand(file_.fd.get(), settings_.tree->RealPath(file_.directory, file_.realName),
                                       file_.realName, peer_.user, settings_.graceOver);
    if (status != kOk) return Refuse(status);
    Succeed();
}

void Session::List(const FileSpec& spec) {
    const StatusValue status = settings_.tree->List(spec, &listing_);
    if (status != kOk) return Refuse(status);
    // Nothing matched: "file not found" alone, which the client reports.
    if (listing_.entries.empty()) return Refuse(kStatusFileNotFound);
    const std::string directory = PresentedDirectory(personality_, listing_.directory);
    if (!SendName(kNameVolume, kVolumeName) || !SendName(kNameDirectory, directory)) return RefuseUnsentName();
    nextEntry_ = 0;
    listedPlainName_ = false;
    ContinueListing();
}

void Session::ContinueListing() {
    while (nextEntry_ < listing_.entries.size() && !outbox_.failed()) {
        const ListedEntry& entry = listing_.entries[nextEntry_++];
        StatusValue status = entry.status;
        std::string listedName = entry.presentedName;
        if (!SendName(kNameFile, listedName)) {
            if (outbox_.failed()) break;
            // A name longer than the client's buffer or a Name takes: the
            // entry is listed by as much of it as fits, as one that cannot
            // be shown (never dropped: the client would take what follows
            // for the entry before).
            constexpr size_t kNameFixed = 2;  // NAMETYPE and the count
            listedName = entry.presentedName.substr(0, std::min(outbox_.MaxBody() - kNameFixed, kMaxNameLength));
            SendName(kNameFile, listedName);
            status = kStatusFileNotFound;
        }
        // Until a name without "*" has been listed, the client takes a name
        // with one for its own pattern sent back, and a Status behind it for
        // the end of the whole listing (which then ends cut short, or fails).
        // Such an entry that cannot be described by what it leads to is
        // described by what it is itself (the link, the pipe) instead.
        const bool starred = listedName.find('*') != std::string::npos;
        const bool describeItself = status != kOk && starred && !listedPlainName_ && listedName == entry.presentedName;
        if (!starred) listedPlainName_ = true;
        if (status == kOk || describeItself) {
            struct stat info {};
            info.st_mode = entry.info.mode;
            info.st_uid = entry.info.owner;
            info.st_size = entry.info.size;
            info.st_mtime = entry.info.modified;
            const bool isDirectory = status == kOk && S_ISDIR(info.st_mode);
            const Presentation presentation = PresentFile(personality_, entry.realName, false, Purpose::kDescribe);
            if (Describe(info, listing_.directory, entry.realName, isDirectory, presentation)) continue;
            if (outbox_.failed()) break;
            status = kStatusFileNotFound;  // its whole spec is longer than the client's buffer takes
        }
        // The client notes the error and asks for the next entry.
        SendStatus(status);
        phase_ = Phase::kListing;
        return;
    }
    bytes_ = nextEntry_;  // the log counts the entries listed (handed over, if the link failed)
    // The link failed under the listing: it ends there, as a download does.
    if (outbox_.failed()) return EndAccess("dropped");
    // More entries matched than a listing keeps: the client is told, after
    // those it got, that the listing is not whole.
    if (listing_.truncated) return Fail(kStatusNoResources);
    Succeed();
}

bool Session::Describe(const struct stat& info, const std::vector<std::string>& directory,
                       const std::string& realName, bool isDirectory, const Presentation& presentation) {
    const bool asked = access_.hasDisplay;
    if (!asked || access_.Displays(kDisplayAttributes)) {
        FileAttributes attributes;
        attributes.presentation = presentation;
        attributes.isDirectory = isDirectory;
        attributes.size = static_cast<uint64_t>(info.st_size);
        outbox_.Put(wire::kAttributes, 64, [&](wire::Writer& w) { EncodeAttributes(w, attributes); });
    }
    if (asked && access_.Displays(kDisplayDates)) {
        outbox_.Put(wire::kDateAndTime, 64, [&](wire::Writer& w) { EncodeDateAndTime(w, info.st_mtime); });
    }
    if (asked && access_.Displays(kDisplayProtection)) {
        const std::string owner = OwnerName(info.st_uid);
        const AccessCodes codes = CodesForMode(info.st_mode);
        outbox_.Put(wire::kProtection, 64, [&](wire::Writer& w) { EncodeProtection(w, owner, codes); });
    }
    if (asked && access_.Displays(kDisplayName)) {
        if (!SendName(kNameFileSpec, PresentedSpec(personality_, directory, realName, isDirectory))) return false;
    }
    SendAcknowledge();
    return true;
}

void Session::OnControl(wire::Reader body) {
    ControlMessage control;
    const StatusValue status = DecodeControl(body, &control);
    if (phase_ == Phase::kWindDown) return;
    if (status != kOk) return Fail(status);
    const bool upload = upload_->active();
    switch (phase_) {
        case Phase::kOpened:
        case Phase::kCreated:
            if (control.ctlfunc != kCtlConnect) return OutOfOrder(wire::kControl);
            SendAcknowledge();
            phase_ = Phase::kConnected;
            return;
        case Phase::kConnected:
        case Phase::kSent:
            if (control.ctlfunc == kCtlConnect) return SendAcknowledge();
            if (control.ctlfunc == kCtlGet && !upload) return StartSending(control);
            if (control.ctlfunc == kCtlPut && upload) {
                PrepareReceiving();
                phase_ = Phase::kReceiving;
                return;
            }
            if (control.ctlfunc == kCtlPut) return StartAppending();
            return Fail(MessageError(kMacUnsupported, wire::kControl, field::kCtlFunc));
        default: return OutOfOrder(wire::kControl);
    }
}

void Session::StartSending(const ControlMessage& control) {
    if (file_.isDirectory) return Fail(kStatusProtected);
    // A copy asks with record options (CTLMENU 0x08); a record read without,
    // and tells its buffer size (USZ).
    const bool copy = control.hasRop;
    operation_ = copy ? "download" : "read";
    presentation_ = PresentFile(personality_, file_.realName, image(), copy ? Purpose::kCopy : Purpose::kRecordRead);
    const size_t prefix = presentation_.printControls ? sizeof kPrintControls : 0;
    recordLimit_ = outbox_.MaxRecord(prefix);
    // Stream lines are cut to fit the reader's buffer and its NUL (the text
    // read is the same); a line the client ends with CR LF stays whole, and
    // the client hands it out in pieces.
    if (!copy && control.hasUsz && presentation_.keepNewline && control.usz > 1 && control.usz - 1u < recordLimit_) {
        recordLimit_ = control.usz - 1u;
    }
    if (::lseek(file_.fd.get(), 0, SEEK_SET) < 0) return Fail(StatusForErrno(errno, Stage::kRead));
    reader_->Start(file_.fd.get(), presentation_);
    bytes_ = 0;
    phase_ = Phase::kSending;
}

void Session::StartAppending() {
    PrepareReceiving();
    operation_ = "write";
    bytes_ = 0;
    receiveFailure_ = kOk;
    if (settings_.readOnly || (access_.fac & kFacPut) == 0) {
        receiveFailure_ = kStatusPrivilege;
    } else {
        receiveFailure_ = settings_.tree->OpenForAppend(file_, &appendFd_);
    }
    phase_ = Phase::kAppending;
}

void Session::Pump() {
    if (phase_ != Phase::kSending) return;
    const size_t prefixLength = presentation_.printControls ? sizeof kPrintControls : 0;
    const uint8_t* prefix = prefixLength != 0 ? kPrintControls : nullptr;
    const uint64_t blocks = outbox_.blocksFinished();
    // Records until one block is finished, so that the connection can look
    // for an Access Complete between blocks.
    while (outbox_.blocksFinished() == blocks) {
        size_t room = 0;
        size_t length = 0;
        int error = 0;
        // The record is measured first, so that it goes into the block being
        // filled whenever it fits there.
        RecordReader::Result result;
        if (reader_->buffered()) {
            // Lines and small pieces are copied from the reader's buffer,
            // which Peek measures them in.
            const uint8_t* record = nullptr;
            result = reader_->Peek(recordLimit_, &record, &length, &error);
            if (result == RecordReader::Result::kRecord) {
                if (!outbox_.PutData(prefix, prefixLength, recordLimit_, record, length)) return;
                reader_->Advance();
            }
        } else {
            // Large pieces are read from the file straight into the message.
            result = reader_->Measure(recordLimit_, &room, &error);
            if (result == RecordReader::Result::kRecord) {
                uint8_t* record = outbox_.BeginData(prefix, prefixLength, recordLimit_, room);
                if (record == nullptr) return;
                result = reader_->Next(record, recordLimit_, &length, &error);
                if (result == RecordReader::Result::kRecord) outbox_.EndData(length);
            }
        }
        bytes_ = reader_->consumed();
        if (result == RecordReader::Result::kRecord) {
            // The end-of-file Status shares the last record's block when it can.
            if (!reader_->exhausted()) continue;
        }
        if (result == RecordReader::Result::kError) {
            Fail(StatusForErrno(error, Stage::kRead));
        } else {
            SendStatus(kStatusEndOfFile);
            phase_ = Phase::kSent;
        }
        outbox_.Flush();
        return;
    }
    // The records behind the block just finished wait for the next call.
}

void Session::OnContinueTransfer(wire::Reader body) {
    uint8_t confunc = 0;
    const StatusValue status = DecodeContinueTransfer(body, &confunc);
    // A client that cannot finish an upload (its local file failed) winds
    // the access down: what it sent is dropped, the old target stays, and
    // its Access Complete is answered.
    if (phase_ == Phase::kReceiving && status == kOk && confunc == kConAbort) {
        EndAccess("discarded");
        phase_ = Phase::kWindDown;
        return;
    }
    if (phase_ != Phase::kListing) return;  // elsewhere it only precedes an Access Complete
    if (status != kOk) return Fail(status);
    if (confunc == kConAbort) {
        EndAccess("aborted");
        phase_ = Phase::kWindDown;
        return;
    }
    phase_ = Phase::kIdle;
    ContinueListing();
}

void Session::OnAccessComplete(wire::Reader body) {
    AccessCompleteMessage complete;
    const StatusValue status = DecodeAccessComplete(body, &complete);
    if (status != kOk) return Fail(status);
    switch (phase_) {
        case Phase::kConnected:
            // An upload's connect leads here too; only an opened file is
            // closed as one (printed, its protection changed).
            if (!file_.fd.valid()) return GiveUp();
            return CloseExisting(complete);
        case Phase::kOpened:
        case Phase::kSending:
        case Phase::kSent: return CloseExisting(complete);
        case Phase::kAppending:
            // A protection change is no close of the records: out of
            // order, as Data outside a data phase is.
            if (ChangesProtection(complete)) return OutOfOrder(wire::kAccessComplete);
            appendFd_.Reset();
            if (receiveFailure_ != kOk) return Fail(receiveFailure_);
            return Succeed();
        case Phase::kReceiving:
            if (ChangesProtection(complete)) return OutOfOrder(wire::kAccessComplete);
            if (complete.cmpfunc == kCmpClose) return CommitUpload();
            SendAccessComplete();
            EndAccess("discarded");
            phase_ = Phase::kIdle;
            return;
        case Phase::kChanging:
            if (complete.cmpfunc == kCmpChangeEnd) return ChangeProtection();
            // The client's abort closes with CMPFUNC 1: nothing is changed.
            if (complete.cmpfunc == kCmpClose) return GiveUp();
            return OutOfOrder(wire::kAccessComplete);
        case Phase::kWindDown:
            SendAccessComplete();
            phase_ = Phase::kIdle;
            return;
        default: return GiveUp();
    }
}

void Session::GiveUp() {
    SendAccessComplete();
    if (accessActive_) EndAccess(upload_->active() ? "abandoned" : "aborted");
    phase_ = Phase::kIdle;
}

void Session::CloseExisting(const AccessCompleteMessage& complete) {
    if (complete.cmpfunc == kCmpChangeBegin && phase_ != Phase::kSending) {
        // Access Complete, Protection, Access Complete: nothing is answered
        // before the last of them. The file is open after its records too.
        operation_ = "set-protection";
        hasProtection_ = false;
        phase_ = Phase::kChanging;
        return;
    }
    if (phase_ == Phase::kSending) {
        // An abort in the middle of the records.
        SendAccessComplete();
        EndAccess("aborted");
        phase_ = Phase::kIdle;
        return;
    }
    if ((complete.fop[kFopSpoolByte] & kFopSpoolBit) != 0) {
        operation_ = "print";
        if (settings_.printer == nullptr) {
            return Fail(MessageError(kMacUnsupported, wire::kAccessComplete, field::kCmpFop));
        }
        if (file_.isDirectory) return Fail(kStatusProtected);
        bytes_ = static_cast<uint64_t>(file_.info.st_size);
        const StatusValue status =
            settings_.printer->Hand(file_.fd.get(), settings_.tree->RealPath(file_.directory, file_.realName),
                                    file_.realName, peer_.user, settings_.graceOver);
        if (status != kOk) return Fail(status);
    }
    Succeed();
}

void Session::CommitUpload() {
    StatusValue status = receiveFailure_;
    if (status == kOk) {
        time_t modified;
        const bool dated = hasDates_ && (ParseDate(dates_.rdt, &modified) || ParseDate(dates_.cdt, &modified));
        bytes_ = upload_->bytes();
        status = upload_->Commit(dated ? &modified : nullptr);
    }
    if (status != kOk) return Fail(status);
    Succeed();
}

void Session::ChangeProtection() {
    // The root, opened through a link to it, is the operator's: like its
    // delete or rename, its protection is refused.
    if (settings_.readOnly || file_.isRoot) return Fail(kStatusPrivilege);
    if (hasProtection_) {
        // The file as it is now: the classes the client does not name keep
        // what they have, even when another session changed them since the
        // Access.
        struct stat now;
        if (::fstat(file_.fd.get(), &now) != 0) return Fail(StatusForErrno(errno, Stage::kWrite));
        // The owner cannot be changed; naming the present one is no change.
        if ((protection_.menu & 0x01) != 0 && !protection_.owner.empty() &&
            protection_.owner != OwnerName(now.st_uid)) {
            return Fail(kStatusPrivilege);
        }
        AccessCodes codes;
        codes.owner = protection_.owner_access;
        codes.group = protection_.group;
        codes.world = protection_.world;
        const mode_t mode = ModeForCodes(now.st_mode, protection_.menu, codes);
        if (::fchmod(file_.fd.get(), mode) != 0) return Fail(StatusForErrno(errno, Stage::kWrite));
    }
    Succeed();
}

void Session::OnData(wire::Reader body) {
    if (phase_ == Phase::kWindDown) return;
    if (phase_ != Phase::kReceiving && phase_ != Phase::kAppending) return OutOfOrder(wire::kData);
    // The client reads nothing while it sends: the first failure is told
    // at its Access Complete, and the records after it are dropped.
    if (receiveFailure_ != kOk) return;
    DataMessage data;
    receiveFailure_ = DecodeData(body, &data);
    if (receiveFailure_ != kOk) return;
    if (controlArea_ != 0) DropControlArea(&data);
    if (phase_ == Phase::kReceiving) {
        receiveFailure_ = upload_->Write(data.record, data.length);
        return;
    }
    receiveFailure_ = AppendRecord(appendFd_.get(), data.record, data.length, recordsAsLines_);
    if (receiveFailure_ == kOk) bytes_ += data.length;
}

void Session::PrepareReceiving() {
    recordsAsLines_ = StoresRecordsAsLines(personality_, image());
    // A print-format text upload (FSZ in its Attributes) to a records
    // server begins each record with its fixed control area: carriage
    // control, not text. The file keeps the lines, as of any other text
    // upload. (A stream server is sent the file's bytes as they are.)
    controlArea_ = recordsAsLines_ && hasAttributes_ ? attributes_.fsz : 0;
    // The client cuts a line at half its block size (the smaller of the two
    // sides' BUFSIZ), and a fixed-length record at MRS as well.
    lineRecordLimit_ = outbox_.blockLimit() / 2;
    if (hasAttributes_ && attributes_.rfm == kRfmFixed && attributes_.mrs != 0) {
        lineRecordLimit_ = std::min<size_t>(lineRecordLimit_, attributes_.mrs);
    }
    lineBegins_ = true;
}

void Session::DropControlArea(DataMessage* data) {
    // Behind a record of the limit comes either the next line, whose first
    // record carries the control area the client puts there, or the rest
    // of the same line, which carries none: its text is kept whole.
    const bool full = data->length >= lineRecordLimit_;
    const bool marked = data->length >= sizeof kPrintControls &&
                        std::memcmp(data->record, kPrintControls, sizeof kPrintControls) == 0;
    if (lineBegins_ || marked) {
        const size_t area = std::min(data->length, controlArea_);
        data->record += area;
        data->length -= area;
    }
    lineBegins_ = !full;
}

void Session::OnProtection(wire::Reader body) {
    ProtectionMessage message;
    const StatusValue status = DecodeProtection(body, &message);
    if (phase_ == Phase::kWindDown || phase_ == Phase::kIdle) return;
    if (phase_ != Phase::kChanging) return OutOfOrder(wire::kProtection);
    if (status != kOk) return Fail(status);
    protection_ = std::move(message);
    hasProtection_ = true;
}

void Session::OnName(wire::Reader body) {
    if (phase_ == Phase::kWindDown) return;
    if (phase_ != Phase::kRenaming) return OutOfOrder(wire::kName);
    NameMessage name;
    const StatusValue status = DecodeName(body, &name);
    if (status != kOk) return Refuse(status);
    Rename(name);
}

void Session::Rename(const NameMessage& name) {
    if (renameRefusal_ != kOk) return Refuse(renameRefusal_);
    FileSpec from;
    FileSpec to;
    ParseFileSpec(access_.fileSpec, personality_, &from);
    const SpecError error = ParseFileSpec(name.name, personality_, &to);
    if (error != SpecError::kNone) return Refuse(StatusForSpecError(error));
    const StatusValue status = settings_.tree->Rename(from, to);
    if (status != kOk) return Refuse(status);
    Succeed();
}

bool Session::SendName(uint8_t nameType, const std::string& name) {
    // A Name holds at most 255 bytes of name: a longer one is not sent cut,
    // which the client would take for another file's or directory's name.
    if (name.size() > kMaxNameLength) return false;
    return outbox_.Put(wire::kName, 260, [&](wire::Writer& w) { EncodeName(w, nameType, name); });
}

void Session::RefuseUnsentName() {
    if (!outbox_.failed()) Refuse(kStatusNoResources);
}

void Session::SendStatus(StatusValue status) {
    outbox_.Put(wire::kStatus, 2, [&](wire::Writer& w) { EncodeStatus(w, status); });
}

void Session::SendAcknowledge() { outbox_.PutEmpty(wire::kAcknowledge); }

void Session::SendAccessComplete() {
    outbox_.Put(wire::kAccessComplete, 1, [](wire::Writer& w) { EncodeAccessComplete(w); });
}

void Session::Fail(StatusValue status) {
    SendStatus(status);
    if (accessActive_) EndAccess(Outcome(status));
    if (phase_ != Phase::kUnconfigured) phase_ = Phase::kWindDown;
}

void Session::Refuse(StatusValue status) {
    Fail(status);
    phase_ = Phase::kIdle;
}

void Session::OutOfOrder(uint8_t type) {
    if (phase_ == Phase::kWindDown) return;
    Fail(SyncError(type));
    dropRestOfBlock_ = true;
}

void Session::Succeed() {
    SendAccessComplete();
    EndAccess("ok");
    phase_ = Phase::kIdle;
}

void Session::EndAccess(const std::string& outcome) {
    if (!accessActive_) return;
    accessActive_ = false;
    if (settings_.log != nullptr) {
        settings_.log->Operation(peer_.address, peer_.user, operation_, access_.fileSpec, outcome, bytes_);
    }
    upload_->Discard();
    appendFd_.Reset();
    file_ = OpenedFile{};
    listing_ = ListingResult{};
    hasAttributes_ = hasDates_ = hasProtection_ = false;
}

}  // namespace zeld
