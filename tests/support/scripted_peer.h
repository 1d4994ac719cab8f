// The scripted test peer: a server on 127.0.0.1 that speaks the transport's
// frames and plays one script per connection (expect these bytes, answer
// with those), recording everything it receives, so that a test of the
// library reads like the exchange it pins. Mismatches end the script, close
// the connection (the client fails fast instead of hanging) and are listed
// by report() with hex dumps.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/bytes.h"
#include "ztsock/server.h"

namespace zeltest {


struct Step {
    enum class Action { kExpect, kExpectAny, kExpectUntil, kExpectSilence, kExpectClosed, kReply, kRaw, kDelay, kClose };
    Action action{};
    uint8_t kind = ztsock::kFrameData;            // of the frame expected or sent
    Bytes bytes{};                                // expected payload, payload to send, raw bytes
    std::function<bool(const Bytes&)> matches{};  // set: an expected payload is checked by this
    std::string description{};                    // of `matches`, for the report
    int milliseconds = 0;
};
using Script = std::vector<Step>;

// The next frame must be a DATA frame with exactly these bytes.
Step expect(Bytes payload);
// The next frame must be an EXPEDITED frame with exactly these bytes.
Step expectExpedited(Bytes payload);
// The next frame must be a DATA frame whose payload satisfies `matches`.
Step expectWhere(std::function<bool(const Bytes&)> matches, std::string description);
// Any one frame, DATA or EXPEDITED, recorded and accepted.
Step expectAny();
// Frames of any kind, each recorded and accepted, until one whose payload
// satisfies `last` (a stream of blocks whose count the test does not pin).
Step expectUntil(std::function<bool(const Bytes&)> last, std::string description);
// No frame arrives within `milliseconds` (the client closing is no frame).
Step expectSilence(int milliseconds = 200);
// The client closes the connection within the expect timeout.
Step expectClosed();
// Sends one DATA (or EXPEDITED) frame with these bytes.
Step reply(Bytes payload);
Step replyExpedited(Bytes payload);
// Writes these bytes on the socket as they are: garbage, bad frames.
Step raw(Bytes bytes);
// Waits before the next step.
Step delay(int milliseconds);
// Closes the connection; must be the last step.
Step closeConnection();

struct PeerOptions {
    // Non-zero: answer the CONNECT with REJECT carrying this number (the
    // script must then be empty).
    int16_t rejectWith = 0;
    // False: read the CONNECT but send no answer, and go straight to the
    // script (which may answer with raw bytes, stay silent, or close).
    bool answerConnect = true;
    // How long one expect step waits for its frame.
    int expectTimeoutMs = 5000;
};

struct ReceivedFrame {
    uint8_t kind;
    Bytes payload;
};

class ScriptedPeer {
public:
    // The script of the first connection.
    explicit ScriptedPeer(Script script, PeerOptions options = {});
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;
    ~ScriptedPeer();   // Finish, if the test did not

    // The script of the next connection, in the order they arrive. Before Start.
    ScriptedPeer& AddConnection(Script script, PeerOptions options = {});
    // The script of every connection after the scripted ones. Without it such
    // a connection is refused with 55 and reported. Before Start.
    ScriptedPeer& SetLaterConnections(Script script, PeerOptions options = {});

    // Listens on 127.0.0.1 at a free port and plays each connection's script
    // on a thread of its own. False (and reported) when it cannot listen.
    bool Start();
    // "127.0.0.1:PORT", the library's node name for this peer.
    std::string node() const;
    uint16_t port() const;

    // Waits (at most 10 s) for every scripted connection to arrive and end
    // its script, then closes everything. After a script ends, its
    // connection keeps recording frames until here.
    void Finish();

    // Every step of every connection matched, and nothing unexpected came.
    bool ok() const;
    // The mismatches, one paragraph each, with hex dumps.
    std::string report() const;
    // Every frame received on the connection (0 = the first), in order.
    std::vector<ReceivedFrame> received(size_t connection = 0) const;
    // The CONNECT of the connection (0 = the first).
    ztsock::ConnectRequest connectRequest(size_t connection = 0) const;
    // How many connections were accepted and given a script.
    size_t connections() const;

private:
    struct Plan {
        Script script;
        PeerOptions options;
    };
    struct Link;

    void AcceptLoop();
    void Play(Link* link);
    bool RunStep(Link* link, const Step& step, std::string* problem);
    bool ExpectFrame(Link* link, const Step& step, std::string* problem);
    void Record(Link* link, uint8_t kind, const uint8_t* payload, size_t length);
    void AddFailure(const Link* link, size_t step, const std::string& text);
    void EndScript(Link* link);
    bool ScriptsEnded() const;   // under mutex_

    std::vector<Plan> planned_;
    std::optional<Plan> later_;
    std::unique_ptr<ztsock::Listener> listener_;
    std::thread acceptThread_;
    std::atomic<bool> finishing_{false};
    bool started_ = false;
    bool finished_ = false;

    mutable std::mutex mutex_;
    std::condition_variable scriptEnded_;
    std::vector<std::unique_ptr<Link>> links_;
    std::vector<std::string> failures_;
    size_t refused_ = 0;
};

}  // namespace zeltest
