#include "support/scripted_peer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace zeltest {
namespace {

using ztsock::kFrameData;
using ztsock::kFrameExpedited;

constexpr auto kFinishWait = std::chrono::seconds(10);
// Payloads up to this length are shown whole in the report; longer ones
// around their first difference.
constexpr size_t kWholeDump = 64;

std::string KindName(uint8_t kind) {
    switch (kind) {
    case ztsock::kFrameConnect:
        return "CONNECT";
    case ztsock::kFrameAccept:
        return "ACCEPT";
    case ztsock::kFrameReject:
        return "REJECT";
    case kFrameData:
        return "DATA";
    case kFrameExpedited:
        return "EXPEDITED";
    default:
        char text[16];
        std::snprintf(text, sizeof text, "kind 0x%02x", kind);
        return text;
    }
}

std::string Counted(size_t count, const char* unit) { return std::to_string(count) + " " + unit; }

std::string Describe(const Step& step) {
    switch (step.action) {
    case Step::Action::kExpect:
        if (step.matches) return "expect " + KindName(step.kind) + " where " + step.description;
        return "expect " + KindName(step.kind) + ", " + Counted(step.bytes.size(), "bytes");
    case Step::Action::kExpectAny:
        return "expect any frame";
    case Step::Action::kExpectUntil:
        return "expect frames until one where " + step.description;
    case Step::Action::kExpectSilence:
        return "expect silence for " + Counted(step.milliseconds, "ms");
    case Step::Action::kExpectClosed:
        return "expect the client to close";
    case Step::Action::kReply:
        return "reply " + KindName(step.kind) + ", " + Counted(step.bytes.size(), "bytes");
    case Step::Action::kRaw:
        return "raw, " + Counted(step.bytes.size(), "bytes");
    case Step::Action::kDelay:
        return "delay " + Counted(step.milliseconds, "ms");
    case Step::Action::kClose:
        return "close the connection";
    }
    return "?";
}

Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
    from = std::min(from, bytes.size());
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), from + count)));
}

// The expected and received payloads side by side: whole when short, else
// a window around the first byte that differs.
std::string Difference(const Bytes& expected, const Bytes& received) {
    const auto [e, r] = std::mismatch(expected.begin(), expected.end(), received.begin(), received.end());
    const auto at = static_cast<size_t>(e - expected.begin());
    std::string text = "\n  first difference at byte " + std::to_string(at);
    if (expected.size() <= kWholeDump && received.size() <= kWholeDump) {
        return text + "\n  expected: " + Hex(expected) + "\n  received: " + Hex(received);
    }
    const size_t from = at < 16 ? 0 : at - 16;
    const std::string window = " from byte " + std::to_string(from) + ": ";
    return text + "\n  expected" + window + Hex(Slice(expected, from, kWholeDump)) + "\n  received" + window +
           Hex(Slice(received, from, kWholeDump));
}

std::string Dump(const Bytes& payload) {
    if (payload.size() <= kWholeDump) return Hex(payload);
    return Hex(Slice(payload, 0, kWholeDump)) + " ...";
}

}  // namespace

Step expect(Bytes payload) { return Step{.action = Step::Action::kExpect, .bytes = std::move(payload)}; }

Step expectExpedited(Bytes payload) {
    return Step{.action = Step::Action::kExpect, .kind = kFrameExpedited, .bytes = std::move(payload)};
}

Step expectWhere(std::function<bool(const Bytes&)> matches, std::string description) {
    return Step{.action = Step::Action::kExpect, .matches = std::move(matches), .description = std::move(description)};
}

Step expectAny() { return Step{.action = Step::Action::kExpectAny}; }

Step expectUntil(std::function<bool(const Bytes&)> last, std::string description) {
    return Step{.action = Step::Action::kExpectUntil, .matches = std::move(last), .description = std::move(description)};
}

Step expectSilence(int milliseconds) {
    return Step{.action = Step::Action::kExpectSilence, .milliseconds = milliseconds};
}

Step expectClosed() { return Step{.action = Step::Action::kExpectClosed}; }

Step reply(Bytes payload) { return Step{.action = Step::Action::kReply, .bytes = std::move(payload)}; }

Step replyExpedited(Bytes payload) {
    return Step{.action = Step::Action::kReply, .kind = kFrameExpedited, .bytes = std::move(payload)};
}

Step raw(Bytes bytes) { return Step{.action = Step::Action::kRaw, .bytes = std::move(bytes)}; }

Step delay(int milliseconds) { return Step{.action = Step::Action::kDelay, .milliseconds = milliseconds}; }

Step closeConnection() { return Step{.action = Step::Action::kClose}; }

struct ScriptedPeer::Link {
    size_t number;   // 1 for the first connection
    Plan plan;
    std::unique_ptr<ztsock::ServerConnection> connection;
    std::thread thread;
    Bytes buffer = Bytes(ztsock::kMaxPayload);
    size_t lastLength = 0;  // of the payload last received into `buffer`
    // Under the peer's mutex:
    ztsock::ConnectRequest request;
    std::vector<ReceivedFrame> frames;
    bool scriptEnded = false;
};

ScriptedPeer::ScriptedPeer(Script script, PeerOptions options) {
    planned_.push_back(Plan{std::move(script), options});
}

ScriptedPeer::~ScriptedPeer() { Finish(); }

ScriptedPeer& ScriptedPeer::AddConnection(Script script, PeerOptions options) {
    planned_.push_back(Plan{std::move(script), options});
    return *this;
}

ScriptedPeer& ScriptedPeer::SetLaterConnections(Script script, PeerOptions options) {
    later_ = Plan{std::move(script), options};
    return *this;
}

bool ScriptedPeer::Start() {
    std::string error;
    listener_ = ztsock::Listener::Open("127.0.0.1:0", &error);
    if (listener_ == nullptr) {
        std::lock_guard<std::mutex> lock(mutex_);
        failures_.push_back("the peer cannot listen: " + error);
        return false;
    }
    started_ = true;
    acceptThread_ = std::thread(&ScriptedPeer::AcceptLoop, this);
    return true;
}

std::string ScriptedPeer::node() const { return "127.0.0.1:" + std::to_string(port()); }

uint16_t ScriptedPeer::port() const { return listener_ != nullptr ? listener_->port() : 0; }

void ScriptedPeer::AcceptLoop() {
    for (;;) {
        std::unique_ptr<ztsock::ServerConnection> connection = listener_->Accept(-1);
        if (connection == nullptr) {
            if (listener_->woken()) return;
            continue;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        const size_t index = links_.size();
        const Plan* plan = index < planned_.size() ? &planned_[index] : later_ ? &*later_ : nullptr;
        if (plan == nullptr) {
            const size_t number = index + ++refused_;
            failures_.push_back("connection " + std::to_string(number) + " from " + connection->peerAddress() +
                                ": not expected, refused with 55");
            lock.unlock();
            ztsock::RefuseConnection(std::move(connection), ztsock::kErrNoResources);
            continue;
        }
        auto link = std::make_unique<Link>();
        link->number = index + 1;
        link->plan = *plan;
        link->connection = std::move(connection);
        link->thread = std::thread(&ScriptedPeer::Play, this, link.get());
        links_.push_back(std::move(link));
    }
}

void ScriptedPeer::Play(Link* link) {
    ztsock::ServerConnection& connection = *link->connection;
    const PeerOptions& options = link->plan.options;
    const Script& script = link->plan.script;
    int16_t error = 0;
    ztsock::ConnectRequest request;
    if (!connection.ReadConnect(&request, options.expectTimeoutMs, &error)) {
        AddFailure(link, 0, "no well-formed CONNECT (error " + std::to_string(error) + ")");
        connection.Close();
        return EndScript(link);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        link->request = request;
    }
    if (options.rejectWith != 0) {
        connection.Reject(options.rejectWith);
        if (!script.empty()) AddFailure(link, 1, "the script has steps but the connection was rejected");
        return EndScript(link);
    }
    if (options.answerConnect && !connection.Accept(&error)) {
        AddFailure(link, 0, "cannot send ACCEPT (error " + std::to_string(error) + ")");
        return EndScript(link);
    }
    for (size_t i = 0; i < script.size(); ++i) {
        std::string problem;
        if (script[i].action == Step::Action::kClose && i + 1 != script.size()) {
            problem = "steps follow closeConnection";
        } else if (RunStep(link, script[i], &problem)) {
            continue;
        }
        if (finishing_) problem += " (stopped by Finish: the script had not ended in time)";
        AddFailure(link, i + 1, Describe(script[i]) + ": " + problem);
        connection.Close();
        return EndScript(link);
    }
    EndScript(link);

    // After the script: record what else comes, until the client closes or
    // Finish shuts the connection down.
    while (!connection.gone()) {
        ztsock::FrameKind kind;
        const int32_t length = connection.Receive(link->buffer.data(), link->buffer.size(), &kind, -1, &error);
        if (length > 0) {
            Record(link, kind, link->buffer.data(), static_cast<size_t>(length));
        } else if (length < 0 && !finishing_) {
            AddFailure(link, script.size() + 1, "after the script: receive failed (error " + std::to_string(error) + ")");
        }
    }
}

bool ScriptedPeer::RunStep(Link* link, const Step& step, std::string* problem) {
    ztsock::ServerConnection& connection = *link->connection;
    int16_t error = 0;
    switch (step.action) {
    case Step::Action::kExpect:
    case Step::Action::kExpectAny:
    case Step::Action::kExpectSilence:
    case Step::Action::kExpectClosed:
        return ExpectFrame(link, step, problem);
    case Step::Action::kExpectUntil:
        for (;;) {
            if (!ExpectFrame(link, step, problem)) return false;
            const auto end = link->buffer.begin() + static_cast<std::ptrdiff_t>(link->lastLength);
            if (step.matches(Bytes(link->buffer.begin(), end))) return true;
        }
    case Step::Action::kReply:
        if (connection.Send(step.bytes.data(), step.bytes.size(), step.kind == kFrameExpedited, &error) >= 0) {
            return true;
        }
        break;
    case Step::Action::kRaw:
        if (connection.SendRaw(step.bytes.data(), step.bytes.size(), &error)) return true;
        break;
    case Step::Action::kDelay:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds));
        return true;
    case Step::Action::kClose:
        connection.Close();
        return true;
    }
    *problem = "send failed (error " + std::to_string(error) + ")";
    return false;
}

bool ScriptedPeer::ExpectFrame(Link* link, const Step& step, std::string* problem) {
    const bool silence = step.action == Step::Action::kExpectSilence;
    const bool closing = step.action == Step::Action::kExpectClosed;
    const int timeoutMs = silence ? step.milliseconds : link->plan.options.expectTimeoutMs;
    ztsock::FrameKind kind;
    int16_t error = 0;
    const int32_t length =
        link->connection->Receive(link->buffer.data(), link->buffer.size(), &kind, timeoutMs, &error);

    if (length <= 0) {
        // A reset counts as a close: a client that closes with our last
        // frame still unread resets the connection.
        const bool closed = length == 0 || (error == ztsock::kErrConnectionReset && !finishing_);
        if (closed && (silence || closing)) return true;
        if (length < 0 && error == ztsock::kErrTimedOut && silence) return true;
        if (closed) {
            *problem = "the client closed the connection";
        } else if (error == ztsock::kErrTimedOut) {
            *problem = closing ? "the connection is still open after " + Counted(timeoutMs, "ms")
                               : "nothing arrived within " + Counted(timeoutMs, "ms");
        } else {
            *problem = "receive failed (error " + std::to_string(error) + ")";
        }
        return false;
    }

    link->lastLength = static_cast<size_t>(length);
    const Bytes payload(link->buffer.begin(), link->buffer.begin() + length);
    Record(link, kind, payload.data(), payload.size());
    const std::string what = KindName(kind) + ", " + Counted(payload.size(), "bytes");
    if (silence || closing) {
        *problem = "received " + what + ": " + Dump(payload);
        return false;
    }
    if (step.action == Step::Action::kExpectAny || step.action == Step::Action::kExpectUntil) return true;
    if (kind != step.kind) {
        *problem = "received " + what + ": " + Dump(payload);
        return false;
    }
    if (step.matches) {
        if (step.matches(payload)) return true;
        *problem = "received " + what + " that does not match: " + Dump(payload);
        return false;
    }
    if (payload == step.bytes) return true;
    *problem = "received " + what + Difference(step.bytes, payload);
    return false;
}

void ScriptedPeer::Record(Link* link, uint8_t kind, const uint8_t* payload, size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    link->frames.push_back(ReceivedFrame{kind, Bytes(payload, payload + length)});
}

void ScriptedPeer::AddFailure(const Link* link, size_t step, const std::string& text) {
    std::string where = "connection " + std::to_string(link->number);
    if (step != 0) where += ", step " + std::to_string(step);
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.push_back(where + " (" + link->connection->peerAddress() + "): " + text);
}

void ScriptedPeer::EndScript(Link* link) {
    std::lock_guard<std::mutex> lock(mutex_);
    link->scriptEnded = true;
    scriptEnded_.notify_all();
}

bool ScriptedPeer::ScriptsEnded() const {
    if (links_.size() < planned_.size()) return false;
    return std::all_of(links_.begin(), links_.end(), [](const auto& link) { return link->scriptEnded; });
}

void ScriptedPeer::Finish() {
    if (!started_ || finished_) return;
    finished_ = true;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        scriptEnded_.wait_for(lock, kFinishWait, [this] { return ScriptsEnded(); });
    }
    finishing_ = true;
    listener_->Wake();
    acceptThread_.join();
    // No new links from here on: the accept thread has ended.
    for (const auto& link : links_) link->connection->Shutdown();
    for (const auto& link : links_) link->thread.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t number = links_.size() + 1; number <= planned_.size(); ++number) {
        failures_.push_back("connection " + std::to_string(number) + ": never arrived");
    }
}

bool ScriptedPeer::ok() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_.empty();
}

std::string ScriptedPeer::report() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const std::string& failure : failures_) text += failure + "\n";
    return text;
}

std::vector<ReceivedFrame> ScriptedPeer::received(size_t connection) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connection >= links_.size()) return {};
    return links_[connection]->frames;
}

ztsock::ConnectRequest ScriptedPeer::connectRequest(size_t connection) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connection >= links_.size()) return {};
    return links_[connection]->request;
}

size_t ScriptedPeer::connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return links_.size();
}

}  // namespace zeltest
