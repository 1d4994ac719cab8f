// The bound on the end of an access that is being wound down, aborted or
// closed. Before its Access Complete the peer may still send what was in
// flight (Data, an end-of-file Status); each wait for a message is bounded
// by the transport, and a peer that keeps sending such leftovers instead of
// ending the access is bounded by this: from the first message of the
// drain, the rest must come within the receive limit. A peer that is only
// slow to answer at all is the transport's to judge. The replies that
// describe one request (before its Acknowledge or Access Complete), and
// what comes between the records of a transfer, are bounded the same way.
#pragma once

#include <chrono>
#include <optional>

struct ZelContext;

class ZelDrainDeadline {
public:
    // Asked before each message of the drain. True once time is up and the
    // next message would need another block from the transport (what has
    // arrived is always taken); the failure is then noted as a receive that
    // timed out (error 22, detail 60), and the connection is broken: the
    // peer is still in the middle of the access, and a later request must
    // not take its leftovers for replies.
    bool Expired(ZelContext* context);

private:
    bool asked_ = false;
    std::optional<std::chrono::steady_clock::time_point> end_;
};
