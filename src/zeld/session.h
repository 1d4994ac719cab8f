// One client's protocol session: it cuts the client's blocks into messages
// and answers each as the current access allows. It reaches the connection
// only through a BlockSink, so tests and fuzzers can feed it blocks.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "zeld/client_messages.h"
#include "zeld/operation_log.h"
#include "zeld/outbox.h"
#include "zeld/personality.h"
#include "zeld/record_reader.h"
#include "zeld/spooler.h"
#include "zeld/staged_file.h"
#include "zeld/status_codes.h"
#include "zeld/tree.h"

namespace zeld {

// What every session of a server shares.
struct SessionSettings {
    const Tree* tree = nullptr;
    bool readOnly = false;
    const Spooler* printer = nullptr;    // null: printing is not offered
    const Spooler* submitter = nullptr;  // null: submitting is not offered
    OperationLog* log = nullptr;
    mode_t newFileMode = 0644;           // of an uploaded file that did not exist
    // Set by the server when a stop's grace period is over: a print or
    // submit command still running then is killed. Null: never.
    const std::atomic<bool>* graceOver = nullptr;
};

struct PeerIdentity {
    std::string address;
    std::string user;
};

class Session {
public:
    Session(const SessionSettings& settings, PeerIdentity peer, BlockSink* sink);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Handles one transmission block from the client; the replies it calls
    // for have gone to the sink when it returns.
    void HandleBlock(const uint8_t* block, size_t length);
    // Where the client's next block is best received (room for
    // wire::kMaxBlock bytes), or null for a buffer of the caller's own:
    // while an upload's records come in, they are then written from where
    // they were received.
    uint8_t* ReceiveArea();

    // A download or record read is under way: Pump sends its next block.
    bool streaming() const { return phase_ == Phase::kSending; }
    void Pump();

    // An access is in progress (shutdown lets it finish).
    bool busy() const;
    // The sink refused a block: the link is gone.
    bool failed() const { return outbox_.failed(); }
    // The connection has ended: unfinished work is dropped (an upload's
    // temporary file removed) and logged with `why`.
    void Abandon(const char* why);

private:
    enum class Phase {
        kUnconfigured,  // nothing but a Configuration is taken
        kIdle,          // configured, no access
        kOpened,        // an existing file's access acknowledged
        kConnected,     // its record stream connected
        kSending,       // records going to the client
        kSent,          // the end-of-file Status sent
        kCreated,       // an upload's access acknowledged
        kReceiving,     // an upload's records coming
        kAppending,     // records written to the end of an opened file
        kRenaming,      // a rename's Access taken, its Name awaited
        kListing,       // a listing paused at an entry's Status
        kChanging,      // a protection change begun
        kWindDown,      // after an error in an access: the client's Continue Transfer and Access Complete
    };

    void Dispatch(uint8_t type, wire::Reader body);
    // A description or an Access starts the next access: whatever was
    // under way is left.
    void LeaveForNextAccess();
    void OnConfiguration(wire::Reader body);
    void OnAttributes(wire::Reader body);
    void OnDateAndTime(wire::Reader body);
    void OnAccess(wire::Reader body);
    void OnControl(wire::Reader body);
    void OnContinueTransfer(wire::Reader body);
    void OnAccessComplete(wire::Reader body);
    void OnData(wire::Reader body);
    void OnProtection(wire::Reader body);
    void OnName(wire::Reader body);

    void OpenExisting(const FileSpec& spec);
    void CreateUpload(const FileSpec& spec);
    void MakeDirectory(const FileSpec& spec);
    void Erase(const FileSpec& spec);
    void List(const FileSpec& spec);
    void ContinueListing();
    void Submit(const FileSpec& spec);
    void Rename(const NameMessage& name);
    void StartSending(const ControlMessage& control);
    void StartAppending();
    // Works out, once for the records to come, how they are stored.
    void PrepareReceiving();
    // Drops the fixed control area of a print-format record that begins a line.
    void DropControlArea(DataMessage* data);
    void CloseExisting(const AccessCompleteMessage& complete);
    // An Access Complete when idle (an Abort with nothing open, a wind-down
    // of a refused Access by a client that does so), or of an access given
    // up before its data phase (an upload before its records) or before its
    // protection change: answered, nothing kept.
    void GiveUp();
    void CommitUpload();
    void ChangeProtection();

    // Descriptive messages for an Access, as its DISPLAY asks, then
    // Acknowledge; false, with no Acknowledge, when the file's Name did not
    // go (longer than the client's buffer takes, or the link failed).
    bool Describe(const struct stat& info, const std::vector<std::string>& directory, const std::string& realName,
                  bool isDirectory, const Presentation& presentation);
    // False when the Name did not go: longer than the client's buffer
    // takes, or the link failed.
    bool SendName(uint8_t nameType, const std::string& name);
    // Refuses the access whose Name did not go: a Name longer than the
    // client's buffer takes is no resource the server has; a failed link
    // is the connection's to log.
    void RefuseUnsentName();
    void SendStatus(StatusValue status);
    void SendAcknowledge();
    void SendAccessComplete();

    // Ends the access with an error Status; the client winds down.
    void Fail(StatusValue status);
    // Fails a request at one of the descriptions that come before its Access.
    void FailRequest(StatusValue status);
    // Refuses the Access (a rename's at its Name) with an error Status: no
    // access was opened, so the client winds nothing down, and the session
    // is back between accesses, where what the client sends next is
    // answered (a Control or Data with a Sync Error, an Access Complete
    // with an Access Complete).
    void Refuse(StatusValue status);
    // A message the current state cannot take: Sync Error (ignored while
    // winding down).
    void OutOfOrder(uint8_t type);
    // Ends the access: logs it once with `outcome`, closes its file, drops
    // an unfinished upload.
    void EndAccess(const std::string& outcome);
    // Answers with Access Complete, EndAccess("ok"), back to idle.
    void Succeed();
    bool image() const { return hasAttributes_ && attributes_.image(); }

    SessionSettings settings_;
    Personality personality_;
    PeerIdentity peer_;
    Outbox outbox_;
    Phase phase_ = Phase::kUnconfigured;
    bool dropRestOfBlock_ = false;

    // Descriptions that came before the Access, and the Access itself.
    AttributesMessage attributes_;
    bool hasAttributes_ = false;
    DateAndTimeMessage dates_;
    bool hasDates_ = false;
    // A description before the Access was malformed: its error Status is
    // the answer to the whole request, so the Access that ends it is
    // passed over rather than answered a second time.
    bool requestFailed_ = false;
    AccessMessage access_;
    bool accessActive_ = false;

    // The access being served.
    std::string operation_;
    OpenedFile file_;
    Presentation presentation_;
    size_t recordLimit_ = 0;
    uint64_t bytes_ = 0;
    StatusValue renameRefusal_ = kOk;
    // The first failure while records come in; the client hears of it at
    // its Access Complete.
    StatusValue receiveFailure_ = kOk;
    bool recordsAsLines_ = false;  // each record is stored as a line
    size_t controlArea_ = 0;       // bytes of fixed control dropped from a line's first record
    // A line longer than the client's text limit comes as a first record of
    // that length and continuations without a control area; a record of
    // the limit may also be a whole line.
    size_t lineRecordLimit_ = 0;
    bool lineBegins_ = true;  // the next record begins a line for certain
    UniqueFd appendFd_;
    ProtectionMessage protection_;
    bool hasProtection_ = false;
    ListingResult listing_;
    size_t nextEntry_ = 0;
    bool listedPlainName_ = false;  // a file name without "*" has been listed

    std::unique_ptr<StagedFile> upload_;
    std::unique_ptr<RecordReader> reader_;
};

}  // namespace zeld
