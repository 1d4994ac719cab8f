// Both ends of one link on loopback, opened through the real handshake: the
// client's connection identifier and the server's connection, for tests
// that drive the two ends themselves.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "ztsock/server.h"
#include "ztsock/ztsock.h"

namespace ztsock {

struct LinkPair {
    std::unique_ptr<Listener> listener;
    std::unique_ptr<ServerConnection> server;
    ConnectRequest request;
    int32_t client = -1;
    int16_t clientError = 0;

    LinkPair() = default;
    LinkPair(const LinkPair&) = delete;
    LinkPair& operator=(const LinkPair&) = delete;
    ~LinkPair() {
        int32_t value;
        if (client > 0) Close(static_cast<uint16_t>(client), &value);
    }

    // Listens on `listenAddress` ("127.0.0.1:0", "[::1]:0"), connects with
    // `credentials` ("", "/user/password") and answers ACCEPT. False when
    // the listener cannot be opened or the handshake fails.
    bool Open(const std::string& listenAddress, const std::string& credentials = "") {
        std::string error;
        listener = Listener::Open(listenAddress, &error);
        if (listener == nullptr) return false;
        std::thread serverSide([this] {
            server = listener->Accept(5000);
            if (server != nullptr && server->ReadConnect(&request, 5000)) server->Accept();
        });
        client = Connect((listener->addresses().front() + credentials).c_str(), "#17", &clientError);
        serverSide.join();
        return client > 0 && server != nullptr;
    }

    uint16_t id() const { return static_cast<uint16_t>(client); }
};

}  // namespace ztsock
