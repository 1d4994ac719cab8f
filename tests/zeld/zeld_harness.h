// What the server's tests share: the messages as the client library builds
// them (byte for byte), the cutting of the server's blocks into messages,
// a session fed blocks without a socket, and a server on a loopback port
// with a scripted client.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/bytes.h"
#include "support/test_paths.h"
#include "support/zel_messages.h"
#include "zeld/operation_log.h"
#include "zeld/server.h"
#include "zeld/session.h"
#include "zeld/spooler.h"
#include "zeld/tree.h"

namespace zeldtest {

using zeltest::Bytes;
using zeltest::Hex;
using zeltest::operator+;
using zeltest::Text;

// Messages as the client sends them (header and body).
namespace client {
Bytes Configuration();  // the client's first Configuration
Bytes Attributes(bool image = false, bool print = false);
// DISPLAY as the operations send it: 0x31, 0x91 0x02 or 0x01.
Bytes Display31();
Bytes Display91();
Bytes Access(uint8_t accfunc, const std::string& spec, uint8_t fac, const Bytes& display);
Bytes RenameAccess(const std::string& spec);
Bytes ControlConnect();                  // 04 00 02 00
Bytes ControlCopy(uint8_t ctlfunc);      // CTLMENU 0x09, RAC 3, ROP 0
Bytes ControlRead(uint16_t bufferSize);  // CTLMENU 0x81 0x01, RAC 6, USZ
Bytes ControlWrite(uint16_t bufferSize);
Bytes Data(const Bytes& record);
Bytes AccessComplete(const Bytes& body);
Bytes ContinueTransfer(uint8_t confunc);
Bytes DateAndTime(const std::string& date);
Bytes Name(const std::string& name);
Bytes Protection(const Bytes& body);
}  // namespace client

struct Message {
    uint8_t type = 0;
    Bytes body;
};
// Cuts one block the server sent into messages; an unparsable block gives
// a message of type 0xFF.
std::vector<Message> SplitBlock(const Bytes& block);
std::vector<uint8_t> Types(const std::vector<Message>& messages);
// The Status values among the messages.
std::vector<uint16_t> Statuses(const std::vector<Message>& messages);
// The records of the Data messages, joined.
std::string DataText(const std::vector<Message>& messages, size_t prefix = 0);

// Blocks the session sends, kept.
class CaptureSink : public zeld::BlockSink {
public:
    bool SendBlock(const uint8_t* block, size_t length) override;
    std::vector<Bytes> blocks;
    bool refuse = false;
};

// A session over a scratch tree: Send feeds a block (several messages
// joined) and returns what the session answered, its streaming pumped out.
class SessionHarness {
public:
    explicit SessionHarness(zeld::Personality personality = zeld::Personality::kStream, bool readOnly = false);
    std::vector<Message> Send(const Bytes& block);
    // The Configuration exchange.
    void Configure();
    const std::string& root() const { return scratch_.path(); }
    std::string Path(const std::string& name) const { return scratch_ / name; }
    zeld::Session& session() { return *session_; }
    std::string log() const { return log_->lines(); }
    // Sets printing/submitting spoolers; re-creates the session.
    void SetSpoolers(const zeld::Spooler* printer, const zeld::Spooler* submitter);
    CaptureSink sink;

private:
    void Restart();
    zeltest::ScratchDir scratch_;
    std::unique_ptr<zeld::Tree> tree_;
    std::unique_ptr<zeld::OperationLog> log_;
    zeld::SessionSettings settings_;
    std::unique_ptr<zeld::Session> session_;
};

// A server on 127.0.0.1 with an ephemeral port, serving a scratch tree.
class ServerHarness {
public:
    explicit ServerHarness(zeld::ServerSettings settings = {}, const std::string& usersText = "");
    ~ServerHarness();
    // Stops the server as SIGTERM does and waits until it has stopped.
    void Stop();
    uint16_t port() const { return port_; }
    const std::string& root() const { return scratch_.path(); }
    std::string Path(const std::string& name) const { return scratch_ / name; }
    zeld::Server& server() { return *server_; }
    std::string log() const { return log_->lines(); }

private:
    zeltest::ScratchDir scratch_;
    std::unique_ptr<zeld::Tree> tree_;
    std::unique_ptr<zeld::OperationLog> log_;
    std::unique_ptr<zeld::Server> server_;
    std::thread thread_;
    uint16_t port_ = 0;
};

// A client speaking the transport's frames, driven by the test.
class TestClient {
public:
    ~TestClient();
    // 0 when accepted, else the transport's error number (REJECT's).
    int Connect(uint16_t port, const std::string& user = "", const std::string& password = "",
                const std::string& object = "#17");
    bool Send(const Bytes& block);
    // Messages until one of `type` has come (inclusive); empty on a timeout
    // or a closed link.
    std::vector<Message> ReceiveUntil(uint8_t type);
    // Drops the connection at once.
    void Drop();

private:
    int connection_ = -1;
    std::vector<Message> pending_;
};

}  // namespace zeldtest
