// The listening server: refuses clients beyond the limit (REJECT 55), serves
// each other one on its own thread (handshake, then its session) and stops
// cleanly: no new clients, a grace period for transfers, then all closed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "zeld/operation_log.h"
#include "zeld/session.h"
#include "ztsock/server.h"

namespace zeld {

struct ServerSettings {
    SessionSettings session;
    std::string usersFile;  // empty: any user and password (loopback only)
    int maxClients = 128;
    int idleTimeoutMs = 600000;
    int graceMs = 10000;
    int handshakeTimeoutMs = 15000;
    int refusalDelayMs = 1000;  // before a wrong user or password is refused
};

class Server {
public:
    Server(const ServerSettings& settings, std::unique_ptr<ztsock::Listener> listener);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    uint16_t port() const { return listener_->port(); }

    // Accepts and serves until Stop, then stops as described above.
    void Run();
    // Begins the stop. Safe from any thread and from a signal handler.
    void Stop();

    // Clients connected now (for tests).
    int activeClients() const;

private:
    struct Client {
        std::shared_ptr<ztsock::ServerConnection> connection;
        std::thread thread;
        bool finished = false;
        // Set while the session handles a block of the client's (a print
        // or submit command runs in it): see Stop.
        std::atomic<bool> handling{false};
    };

    void Serve(Client* client);
    // The handshake; false when the client was refused or went.
    bool Admit(ztsock::ServerConnection* connection, std::string* user);
    void Converse(Client* client, const std::string& user);
    // Shuts the connections of unfinished clients down: all of them, or
    // those whose session is not handling a block.
    void ShutDownConnections(bool evenHandling);
    void Reap(bool all);
    // Waits up to `milliseconds` unless the server stops first.
    void Sleep(int milliseconds);

    ServerSettings settings_;
    std::unique_ptr<ztsock::Listener> listener_;
    std::atomic<bool> stopping_{false};
    // The grace period is over: connections still open are shut down, a
    // send that fails under a session ends it as `shutdown`, and a session
    // waiting for a print or submit command (its settings point here) kills it.
    std::atomic<bool> graceOver_{false};

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::list<Client> clients_;
    int active_ = 0;
};

}  // namespace zeld
