#include "zeld/server.h"

#include <chrono>
#include <system_error>
#include <vector>

#include "wire/message_types.h"
#include "zeld/users.h"

namespace zeld {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char kObjectName[] = "#17";
constexpr int kAcceptSliceMs = 500;
constexpr int kReceiveSliceMs = 500;  // how soon an idle session sees a stop
// While blocks stream out, how often the server looks for a client's message
// (an Access Complete that ends the transfer). A look is a system call that
// almost always finds nothing: made between every two blocks it cost the
// server a tenth of its time on a fast link; a link too slow to send a block
// in this time is still looked at between every two blocks.
constexpr auto kStreamingLookInterval = std::chrono::milliseconds(1);
// At the end of a stop's grace period, how long a request being handled
// (a print or submit command, killed then) has to send its answer before
// its connection is shut down too.
constexpr auto kLastAnswerTime = std::chrono::seconds(2);
constexpr auto kLastAnswerLook = std::chrono::milliseconds(10);

int MillisecondsSince(Clock::time_point start) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The session's blocks go out as DATA frames.
class ConnectionSink : public BlockSink {
public:
    explicit ConnectionSink(ztsock::ServerConnection* connection) : connection_(connection) {}
    bool SendBlock(const uint8_t* block, size_t length) override {
        int16_t error = 0;
        return connection_->Send(block, length, false, &error) >= 0;
    }
    bool SendBlocks(const uint8_t* const* blocks, const size_t* lengths, size_t count) override {
        iovec payloads[ztsock::FrameStream::kMaxFramesPerSend];
        if (count > ztsock::FrameStream::kMaxFramesPerSend) return BlockSink::SendBlocks(blocks, lengths, count);
        for (size_t i = 0; i < count; ++i) payloads[i] = iovec{const_cast<uint8_t*>(blocks[i]), lengths[i]};
        int16_t error = 0;
        return connection_->SendFrames(payloads, count, &error) >= 0;
    }

private:
    ztsock::ServerConnection* connection_;
};

}  // namespace

Server::Server(const ServerSettings& settings, std::unique_ptr<ztsock::Listener> listener)
    : settings_(settings), listener_(std::move(listener)) {
    settings_.session.graceOver = &graceOver_;
}

Server::~Server() {
    Stop();
    graceOver_.store(true);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Client& client : clients_) client.connection->Shutdown();
    }
    Reap(true);
}

void Server::Stop() {
    stopping_.store(true);
    listener_->Wake();
}

int Server::activeClients() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return active_;
}

void Server::Run() {
    OperationLog* log = settings_.session.log;
    if (log != nullptr) {
        for (const std::string& address : listener_->addresses()) log->Event("listening on " + address);
    }
    while (!stopping_.load()) {
        std::unique_ptr<ztsock::ServerConnection> accepted = listener_->Accept(kAcceptSliceMs);
        Reap(false);
        if (accepted == nullptr) continue;
        std::unique_lock<std::mutex> lock(mutex_);
        if (active_ >= settings_.maxClients) {
            // Refused outside the lock: the refusal lingers a moment for the
            // client to read it, and sessions that end must not wait on that.
            lock.unlock();
            if (log != nullptr) log->Operation(accepted->peerAddress(), "", "connect", "", "too-many-clients", 0);
            ztsock::RefuseConnection(std::move(accepted), ztsock::kErrNoResources);
            continue;
        }
        clients_.emplace_back();
        Client* client = &clients_.back();
        client->connection = std::shared_ptr<ztsock::ServerConnection>(std::move(accepted));
        try {
            client->thread = std::thread([this, client] { Serve(client); });
        } catch (const std::system_error&) {
            // No thread to be had: the client is refused as for too many.
            client->connection->Reject(ztsock::kErrNoResources, 0);
            clients_.pop_back();
            continue;
        }
        ++active_;
    }

    // Stopping: no new client is taken (nor kept waiting in the queue), and
    // transfers under way may finish within the grace period.
    listener_->Close();
    if (log != nullptr) log->Event("stopping");
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(settings_.graceMs), [this] { return active_ == 0; });
        // A session waiting for a print or submit command sees no shutdown
        // of its connection: it is told that the grace period is over, kills
        // the command and answers that the request failed. That answer is
        // given a moment to go out before its connection is shut down too.
        graceOver_.store(true);
        ShutDownConnections(false);
        const auto giveUp = Clock::now() + kLastAnswerTime;
        const auto answered = [this] {
            for (const Client& client : clients_) {
                if (!client.finished && client.handling.load()) return false;
            }
            return true;
        };
        while (!answered() && Clock::now() < giveUp) changed_.wait_for(lock, kLastAnswerLook);
        ShutDownConnections(true);
    }
    Reap(true);
    if (log != nullptr) log->Event("stopped");
}

void Server::ShutDownConnections(bool evenHandling) {
    for (Client& client : clients_) {
        if (!client.finished && (evenHandling || !client.handling.load())) client.connection->Shutdown();
    }
}

void Server::Reap(bool all) {
    std::list<Client> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            if (it->finished || all) {
                auto next = std::next(it);
                done.splice(done.end(), clients_, it);
                it = next;
            } else {
                ++it;
            }
        }
    }
    for (Client& client : done) {
        if (client.thread.joinable()) client.thread.join();
    }
}

void Server::Sleep(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stopping_.load(); });
}

void Server::Serve(Client* client) {
    ztsock::ServerConnection* connection = client->connection.get();
    connection->SetSendTimeout(settings_.idleTimeoutMs);
    std::string user;
    if (Admit(connection, &user)) Converse(client, user);
    connection->Close();
    std::lock_guard<std::mutex> lock(mutex_);
    client->finished = true;
    --active_;
    changed_.notify_all();
}

bool Server::Admit(ztsock::ServerConnection* connection, std::string* user) {
    OperationLog* log = settings_.session.log;
    ztsock::ConnectRequest request;
    if (!connection->ReadConnect(&request, settings_.handshakeTimeoutMs)) return false;
    *user = request.user;
    auto refuse = [&](int16_t number, const char* outcome) {
        if (log != nullptr) log->Operation(request.peerAddress, request.user, "connect", "", outcome, 0);
        connection->Reject(number);
        return false;
    };
    if (request.object != kObjectName) return refuse(ztsock::kErrNoSuchObject, "no-such-object");
    if (!settings_.usersFile.empty()) {
        // Read at every login, so that changes count at once.
        std::vector<UserEntry> users;
        std::string error;
        const bool loaded = LoadUsers(settings_.usersFile, &users, &error);
        if (!loaded && log != nullptr) log->Event(error);
        if (!loaded || !CheckPassword(users, request.user, request.password)) {
            // The same answer, after the same pause, for a wrong user and a wrong password.
            Sleep(settings_.refusalDelayMs);
            return refuse(ztsock::kErrAccessDenied, "access-denied");
        }
    }
    if (!connection->Accept()) return false;
    if (log != nullptr) log->Operation(request.peerAddress, request.user, "connect", "", "ok", 0);
    return true;
}

void Server::Converse(Client* client, const std::string& user) {
    ztsock::ServerConnection* connection = client->connection.get();
    OperationLog* log = settings_.session.log;
    ConnectionSink sink(connection);
    Session session(settings_.session, PeerIdentity{connection->peerAddress(), user}, &sink);
    std::vector<uint8_t> block(wire::kMaxBlock);
    Clock::time_point lastHeard = Clock::now();
    Clock::time_point lastLook{};
    const char* ending = "closed";
    for (;;) {
        if (session.failed()) {
            // A download cut off after the grace period fails its send.
            ending = graceOver_.load() ? "shutdown" : "dropped";
            break;
        }
        if (stopping_.load() && !session.busy()) {
            ending = "server-stopping";
            break;
        }
        // While records stream out, look for a message between blocks, without
        // waiting, and at most once per interval.
        const bool streaming = session.streaming();
        int wait = 0;
        if (streaming) {
            const Clock::time_point now = Clock::now();
            if (now - lastLook < kStreamingLookInterval) {
                session.Pump();
                lastHeard = Clock::now();
                continue;
            }
            lastLook = now;
        } else {
            const int idleLeft = settings_.idleTimeoutMs - MillisecondsSince(lastHeard);
            if (idleLeft <= 0) {
                ending = "idle-timeout";
                break;
            }
            wait = idleLeft < kReceiveSliceMs ? idleLeft : kReceiveSliceMs;
        }
        ztsock::FrameKind kind;
        int16_t error = 0;
        uint8_t* into = session.ReceiveArea();
        if (into == nullptr) into = block.data();
        const int32_t received = connection->Receive(into, wire::kMaxBlock, &kind, wait, &error);
        if (received > 0) {
            lastHeard = Clock::now();
            client->handling.store(true);
            session.HandleBlock(into, static_cast<size_t>(received));
            client->handling.store(false);
            continue;
        }
        if (received == 0 || error != ztsock::kErrTimedOut) {
            // After the grace period the server itself shuts connections down.
            ending = stopping_.load() ? "shutdown" : received == 0 ? "closed" : "dropped";
            break;
        }
        if (streaming) {
            session.Pump();
            lastHeard = Clock::now();
        }
    }
    session.Abandon(ending);
    if (log != nullptr) log->Operation(connection->peerAddress(), user, "disconnect", "", ending, 0);
}

}  // namespace zeld
