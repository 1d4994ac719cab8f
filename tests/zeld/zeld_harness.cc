#include "zeld_harness.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "wire/header.h"
#include "wire/message_types.h"
#include "support/zel_messages.h"
#include "ztsock/ztsock.h"

namespace zeldtest {
namespace {

Bytes Image(const std::string& text) { return Bytes{static_cast<uint8_t>(text.size())} + Text(text); }

}  // namespace

namespace client {

Bytes Configuration() { return zeltest::LibraryConfiguration(); }

Bytes Attributes(bool image, bool print) {
    Bytes body{0xAF, static_cast<uint8_t>(print ? 0x60 : 0x40), static_cast<uint8_t>(image ? 0x02 : 0x01), 0x00,
               0x04, 0x00, static_cast<uint8_t>(image ? 0x80 : 0x00), 0x00};
    if (print) body = body + Bytes{0x80, 0x80, 0x40};  // FOP: print when closed
    return zeltest::Attributes(body + Bytes{0x08});    // BSZ
}

Bytes Display31() { return {0x31}; }
Bytes Display91() { return {0x91, 0x02}; }

Bytes Access(uint8_t accfunc, const std::string& spec, uint8_t fac, const Bytes& display) {
    // ACCFUNC, ACCOPT, FILESPEC, FAC, SHR, DISPLAY, an empty PASSWORD.
    return zeltest::Message(wire::kAccess, 0x00,
                            Bytes{accfunc, 0x00} + Image(spec) + Bytes{fac, 0x00} + display + Bytes{0x00});
}

Bytes RenameAccess(const std::string& spec) {
    return zeltest::Message(wire::kAccess, 0x00, Bytes{0x03, 0x00} + Image(spec) + Bytes{0x02, 0x00});
}

Bytes ControlConnect() { return zeltest::Message(wire::kControl, 0x00, {0x02, 0x00}); }
Bytes ControlCopy(uint8_t ctlfunc) { return zeltest::Message(wire::kControl, 0x00, {ctlfunc, 0x09, 0x03, 0x00}); }
Bytes ControlRead(uint16_t bufferSize) {
    return zeltest::Message(wire::kControl, 0x00,
                            {0x01, 0x81, 0x01, 0x06, static_cast<uint8_t>(bufferSize),
                             static_cast<uint8_t>(bufferSize >> 8)});
}
Bytes ControlWrite(uint16_t bufferSize) {
    Bytes control = ControlRead(bufferSize);
    control[2] = 0x04;  // CTLFUNC
    return control;
}

Bytes Data(const Bytes& record) { return zeltest::Data(record); }
Bytes AccessComplete(const Bytes& body) { return zeltest::Message(wire::kAccessComplete, 0x00, body); }
Bytes ContinueTransfer(uint8_t confunc) { return zeltest::ContinueTransfer(confunc); }
Bytes DateAndTime(const std::string& date) { return zeltest::DateAndTime(date, date); }
Bytes Name(const std::string& name) { return zeltest::Name(0x02, name); }
Bytes Protection(const Bytes& body) { return zeltest::Message(wire::kProtection, 0x02, body); }

}  // namespace client

std::vector<Message> SplitBlock(const Bytes& block) {
    std::vector<Message> messages;
    size_t offset = 0;
    while (offset < block.size()) {
        wire::Header header;
        if (wire::ParseHeader(block.data() + offset, block.size() - offset, &header) != wire::HeaderResult::kOk) {
            messages.push_back(Message{0xFF, {}});
            break;
        }
        const auto* body = block.data() + offset + header.headerLength;
        messages.push_back(Message{header.type, Bytes(body, body + header.bodyLength)});
        offset += header.headerLength + header.bodyLength;
    }
    return messages;
}

std::vector<uint8_t> Types(const std::vector<Message>& messages) {
    std::vector<uint8_t> types;
    for (const Message& message : messages) types.push_back(message.type);
    return types;
}

std::vector<uint16_t> Statuses(const std::vector<Message>& messages) {
    std::vector<uint16_t> statuses;
    for (const Message& message : messages) {
        if (message.type == wire::kStatus && message.body.size() >= 2) {
            statuses.push_back(static_cast<uint16_t>(message.body[0] | message.body[1] << 8));
        }
    }
    return statuses;
}

std::string DataText(const std::vector<Message>& messages, size_t prefix) {
    std::string text;
    for (const Message& message : messages) {
        if (message.type == wire::kData && message.body.size() >= 1 + prefix) {
            text.append(message.body.begin() + 1 + static_cast<std::ptrdiff_t>(prefix), message.body.end());
        }
    }
    return text;
}

bool CaptureSink::SendBlock(const uint8_t* block, size_t length) {
    if (refuse) return false;
    blocks.emplace_back(block, block + length);
    return true;
}

SessionHarness::SessionHarness(zeld::Personality personality, bool readOnly) {
    std::string error;
    tree_ = zeld::Tree::Open(scratch_.path(), personality, &error);
    log_ = zeld::OperationLog::InMemory();
    settings_.tree = tree_.get();
    settings_.readOnly = readOnly;
    settings_.log = log_.get();
    settings_.newFileMode = 0644;
    Restart();
}

void SessionHarness::Restart() {
    session_ = std::make_unique<zeld::Session>(settings_, zeld::PeerIdentity{"127.0.0.1:1", "tester"}, &sink);
}

void SessionHarness::SetSpoolers(const zeld::Spooler* printer, const zeld::Spooler* submitter) {
    settings_.printer = printer;
    settings_.submitter = submitter;
    Restart();
}

std::vector<Message> SessionHarness::Send(const Bytes& block) {
    sink.blocks.clear();
    // Received where the session asks, as the server does.
    uint8_t* area = session_->ReceiveArea();
    if (area != nullptr && block.size() <= wire::kMaxBlock) {
        std::copy(block.begin(), block.end(), area);
        session_->HandleBlock(area, block.size());
    } else {
        session_->HandleBlock(block.data(), block.size());
    }
    // A stream of records is pumped out as the connection would.
    for (int rounds = 0; session_->streaming() && rounds < 1000000; ++rounds) session_->Pump();
    std::vector<Message> messages;
    for (const Bytes& sent : sink.blocks) {
        for (Message& message : SplitBlock(sent)) messages.push_back(std::move(message));
    }
    return messages;
}

void SessionHarness::Configure() { Send(client::Configuration()); }

ServerHarness::ServerHarness(zeld::ServerSettings settings, const std::string& usersText) {
    std::string error;
    tree_ = zeld::Tree::Open(scratch_.path(), zeld::Personality::kStream, &error);
    log_ = zeld::OperationLog::InMemory();
    settings.session.tree = tree_.get();
    settings.session.log = log_.get();
    if (!usersText.empty()) {
        ::mkdir((scratch_ / ".users").c_str(), 0700);
        settings.usersFile = scratch_ / ".users/users";
        zeltest::WriteFile(settings.usersFile, usersText);
    }
    auto listener = ztsock::Listener::Open("127.0.0.1:0", &error);
    port_ = listener->port();
    server_ = std::make_unique<zeld::Server>(settings, std::move(listener));
    thread_ = std::thread([this] { server_->Run(); });
}

ServerHarness::~ServerHarness() { Stop(); }

void ServerHarness::Stop() {
    server_->Stop();
    if (thread_.joinable()) thread_.join();
}

TestClient::~TestClient() { Drop(); }

int TestClient::Connect(uint16_t port, const std::string& user, const std::string& password,
                        const std::string& object) {
    ztsock::SetClientTimeouts(5000, 10000);
    std::string node = "127.0.0.1:" + std::to_string(port);
    if (!user.empty()) node += "/" + user + "/" + password;
    int16_t error = 0;
    const int32_t connection = ztsock::Connect(node.c_str(), object.c_str(), &error);
    if (connection < 0) return error;
    connection_ = connection;
    return 0;
}

bool TestClient::Send(const Bytes& block) {
    int16_t error = 0;
    return connection_ >= 0 &&
           ztsock::Send(static_cast<uint16_t>(connection_), block.data(), static_cast<uint16_t>(block.size()), 0,
                        &error) >= 0;
}

std::vector<Message> TestClient::ReceiveUntil(uint8_t type) {
    std::vector<Message> messages;
    std::vector<uint8_t> block(wire::kMaxBlock);
    for (;;) {
        while (!pending_.empty()) {
            messages.push_back(std::move(pending_.front()));
            pending_.erase(pending_.begin());
            if (messages.back().type == type) return messages;
        }
        int16_t error = 0;
        if (connection_ < 0) return {};
        const int32_t received = ztsock::Receive(static_cast<uint16_t>(connection_), block.data(),
                                                 static_cast<uint16_t>(block.size()), &error);
        if (received <= 0) return {};
        pending_ = SplitBlock(Bytes(block.begin(), block.begin() + received));
    }
}

void TestClient::Drop() {
    if (connection_ < 0) return;
    int32_t value = 0;
    ztsock::Close(static_cast<uint16_t>(connection_), &value);
    connection_ = -1;
}

}  // namespace zeldtest
