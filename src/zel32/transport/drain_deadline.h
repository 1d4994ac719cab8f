// The bound on the end of an access that is being wound down, aborted or
// closed. Before its Access Complete the peer may still send what was in
// flight (Data, an end-of-file Status); each wait for a message is bounded
// by the transport, and a peer that keeps sending such leftovers instead of
// ending the access is bounded by this: the receive limit over the whole.
#pragma once

#include <chrono>

struct ZelContext;

class ZelDrainDeadline {
public:
    ZelDrainDeadline();

    // True once the time is up; the failure is then noted as a receive that
    // timed out (error 22, detail 60).
    bool Expired(ZelContext* context) const;

private:
    std::chrono::steady_clock::time_point end_;
};
