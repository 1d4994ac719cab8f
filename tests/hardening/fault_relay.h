// A TCP relay on 127.0.0.1 that stands between the library and a zeld and
// passes the bytes of each connection through, counting the transport's
// frames (kind, 16-bit length, payload) in each direction. When armed it
// injects one fault at a chosen point of one direction: the bytes stop
// coming (the relay still reads and drops them, as a peer that stops
// answering), the relay stops reading (as a peer that takes nothing more),
// or both connections are reset.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ztsock/socket.h"

namespace hardening {

enum class Direction { kToServer = 0, kToClient = 1 };

enum class Fault {
    kSilence,      // nothing more is passed on in that direction; what comes is dropped
    kStopReading,  // nothing more is read from the sender
    kReset,        // both connections are reset (RST) at that point
};

class FaultRelay {
public:
    explicit FaultRelay(uint16_t serverPort);
    ~FaultRelay();
    FaultRelay(const FaultRelay&) = delete;
    FaultRelay& operator=(const FaultRelay&) = delete;

    // Listens on a free port of 127.0.0.1. False with a message.
    bool Start(std::string* error);
    // "127.0.0.1:PORT": the node name that reaches the server through the relay.
    std::string node() const;

    // Arms the fault on the latest connection: it strikes in `direction`
    // once `frames` more whole frames and then `bytes` more bytes have
    // passed, counted from now.
    void Arm(Direction direction, Fault fault, uint64_t frames, uint64_t bytes = 0);
    // The same for the next connection, counted from its first byte (frame
    // 0 toward the server is the CONNECT, toward the client the ACCEPT).
    void ArmNextConnection(Direction direction, Fault fault, uint64_t frames, uint64_t bytes = 0);
    // Whether the armed fault has struck.
    bool struck() const;
    // Whole frames passed in `direction` on the latest connection.
    uint64_t frames(Direction direction) const;

private:
    struct Flow;
    struct Link;

    void AcceptLoop();
    void Relay(Link* link);
    // How many of the `length` bytes just read in `direction` may pass before
    // an armed fault strikes (all of them when it does not strike).
    // *struck is set to the fault when it strikes.
    size_t Passable(Link* link, Direction direction, const uint8_t* data, size_t length, std::optional<Fault>* struck);

    uint16_t serverPort_;
    ztsock::UniqueFd listener_;
    uint16_t port_ = 0;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};

    struct Plan {
        bool armed = false;
        Direction direction = Direction::kToClient;
        Fault fault = Fault::kSilence;
        uint64_t frames = 0;
        uint64_t bytes = 0;
    };
    // Under mutex_: arms `plan` on `link`, counting from what has passed.
    static void ArmLink(Link* link, const Plan& plan);

    mutable std::mutex mutex_;
    std::list<std::unique_ptr<Link>> links_;
    Link* latest_ = nullptr;
    Plan nextConnection_;  // armed on the next connection accepted
};

}  // namespace hardening
