// A server on a loopback port with scripted clients: the handshake (object,
// user and password, the client limit), whole exchanges over the
// transport, and what a dropped connection leaves behind.
#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "wire/message_types.h"
#include "zeld/users.h"
#include "zeld_harness.h"
#include "ztsock/ztsock.h"

namespace zeldtest {
namespace {

using zeltest::ReadFile;
using zeltest::WriteFile;

size_t EntryCount(const std::string& directory) {
    size_t count = 0;
    DIR* dir = ::opendir(directory.c_str());
    while (const dirent* entry = ::readdir(dir)) {
        if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") ++count;
    }
    ::closedir(dir);
    return count;
}

// Waits (boundedly) for a condition the server reaches on its own thread.
template <typename Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 500 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

zeld::ServerSettings QuickSettings() {
    zeld::ServerSettings settings;
    settings.refusalDelayMs = 50;
    settings.graceMs = 2000;
    return settings;
}

TEST(Handshake, OnlyObject17IsServed) {
    ServerHarness server(QuickSettings());
    TestClient other;
    EXPECT_EQ(other.Connect(server.port(), "", "", "#18"), ztsock::kErrNoSuchObject);
    TestClient client;
    EXPECT_EQ(client.Connect(server.port()), 0);
}

TEST(Handshake, UsersFileDecidesAndBothWrongUserAndWrongPasswordGetAccessDenied) {
    const std::string users = "# users of the test server\nalice:" + zeld::HashPassword("wonderland") + "\n";
    ServerHarness server(QuickSettings(), users);
    TestClient wrongPassword;
    EXPECT_EQ(wrongPassword.Connect(server.port(), "alice", "looking-glass"), ztsock::kErrAccessDenied);
    TestClient wrongUser;
    EXPECT_EQ(wrongUser.Connect(server.port(), "bob", "wonderland"), ztsock::kErrAccessDenied);
    TestClient noUser;
    EXPECT_EQ(noUser.Connect(server.port()), ztsock::kErrAccessDenied);
    TestClient alice;
    EXPECT_EQ(alice.Connect(server.port(), "alice", "wonderland"), 0);
    ASSERT_TRUE(alice.Send(client::Configuration()));
    EXPECT_EQ(Types(alice.ReceiveUntil(wire::kConfiguration)), (std::vector<uint8_t>{wire::kConfiguration}));
    EXPECT_NE(server.log().find("user=bob op=connect file=\"\" outcome=access-denied"), std::string::npos)
        << server.log();
}

TEST(Handshake, ClientsBeyondTheLimitAreRefusedWithNoResources) {
    zeld::ServerSettings settings = QuickSettings();
    settings.maxClients = 2;
    ServerHarness server(settings);
    TestClient first;
    TestClient second;
    TestClient third;
    ASSERT_EQ(first.Connect(server.port()), 0);
    ASSERT_EQ(second.Connect(server.port()), 0);
    EXPECT_EQ(third.Connect(server.port()), ztsock::kErrNoResources);
    // A place that comes free is given to the next client.
    first.Drop();
    ASSERT_TRUE(Eventually([&] { return server.server().activeClients() == 1; }));
    TestClient fourth;
    EXPECT_EQ(fourth.Connect(server.port()), 0);
}

TEST(Exchange, DownloadAndUploadOverTheTransportAreByteExact) {
    ServerHarness server(QuickSettings());
    std::string content;
    for (int i = 0; i < 100000; ++i) content += static_cast<char>(i * 31 % 256);
    WriteFile(server.Path("source.bin"), content);
    TestClient client;
    ASSERT_EQ(client.Connect(server.port()), 0);
    client.Send(client::Configuration());
    client.ReceiveUntil(wire::kConfiguration);

    client.Send(client::Attributes(true) + client::Access(1, "source.bin", 2, client::Display91()));
    ASSERT_FALSE(client.ReceiveUntil(wire::kAcknowledge).empty());
    client.Send(client::ControlConnect());
    ASSERT_FALSE(client.ReceiveUntil(wire::kAcknowledge).empty());
    client.Send(client::ControlCopy(1));
    const auto records = client.ReceiveUntil(wire::kStatus);
    EXPECT_EQ(DataText(records), content);
    EXPECT_EQ(Statuses(records), (std::vector<uint16_t>{0x5027}));
    client.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
    ASSERT_FALSE(client.ReceiveUntil(wire::kAccessComplete).empty());

    client.Send(client::Attributes(true) + client::DateAndTime("09-MAR-05 14:05:09") +
                client::Access(2, "copy.bin", 1, client::Display91()));
    ASSERT_FALSE(client.ReceiveUntil(wire::kAcknowledge).empty());
    client.Send(client::ControlConnect());
    ASSERT_FALSE(client.ReceiveUntil(wire::kAcknowledge).empty());
    client.Send(client::ControlCopy(4));
    // As the client's stream mode sends it: pieces of 512, many to a block.
    Bytes block;
    for (size_t at = 0; at < content.size(); at += 512) {
        block = block + client::Data(Text(content.substr(at, 512)));
        if (block.size() > 30000) {
            client.Send(block);
            block.clear();
        }
    }
    client.Send(block + client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
    ASSERT_FALSE(client.ReceiveUntil(wire::kAccessComplete).empty());
    EXPECT_EQ(ReadFile(server.Path("copy.bin")), content);
}

TEST(Exchange, DroppedUploadLeavesTheOldTargetAndNoTemporaryFileAndOthersAreServed) {
    ServerHarness server(QuickSettings());
    WriteFile(server.Path("target.txt"), "the old content");
    {
        TestClient client;
        ASSERT_EQ(client.Connect(server.port()), 0);
        client.Send(client::Configuration());
        client.ReceiveUntil(wire::kConfiguration);
        client.Send(client::Attributes() + client::Access(2, "target.txt", 1, client::Display91()));
        client.ReceiveUntil(wire::kAcknowledge);
        client.Send(client::ControlConnect());
        client.ReceiveUntil(wire::kAcknowledge);
        client.Send(client::ControlCopy(4));
        client.Send(client::Data(Text("the new content, half of it")));
        ASSERT_TRUE(Eventually([&] { return EntryCount(server.root()) == 2; }));
        client.Drop();
    }
    ASSERT_TRUE(Eventually([&] { return server.server().activeClients() == 0; }));
    EXPECT_EQ(EntryCount(server.root()), 1u);
    EXPECT_EQ(ReadFile(server.Path("target.txt")), "the old content");

    TestClient other;
    ASSERT_EQ(other.Connect(server.port()), 0);
    other.Send(client::Configuration());
    other.ReceiveUntil(wire::kConfiguration);
    other.Send(client::Attributes() + client::Access(1, "target.txt", 2, client::Display91()));
    EXPECT_EQ(other.ReceiveUntil(wire::kAcknowledge).back().type, wire::kAcknowledge);
}

TEST(Exchange, ManyClientsCopyingAtOnceEachGetTheirOwnBytes) {
    ServerHarness server(QuickSettings());
    constexpr int kClients = 16;
    std::vector<std::thread> threads;
    std::vector<std::string> problems(kClients);
    for (int n = 0; n < kClients; ++n) {
        threads.emplace_back([&, n] {
            // Each client uploads its own content, then downloads it back.
            std::string content(70000 + n * 1000, static_cast<char>('a' + n));
            const std::string name = "file" + std::to_string(n);
            TestClient client;
            if (client.Connect(server.port()) != 0) return void(problems[n] = "connect");
            client.Send(client::Configuration());
            client.ReceiveUntil(wire::kConfiguration);
            client.Send(client::Attributes(true) + client::Access(2, name, 1, client::Display91()));
            client.ReceiveUntil(wire::kAcknowledge);
            client.Send(client::ControlConnect());
            client.ReceiveUntil(wire::kAcknowledge);
            client.Send(client::ControlCopy(4));
            for (size_t at = 0; at < content.size(); at += 512) client.Send(client::Data(Text(content.substr(at, 512))));
            client.Send(client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
            if (client.ReceiveUntil(wire::kAccessComplete).empty()) return void(problems[n] = "upload");
            client.Send(client::Attributes(true) + client::Access(1, name, 2, client::Display91()));
            client.ReceiveUntil(wire::kAcknowledge);
            client.Send(client::ControlConnect());
            client.ReceiveUntil(wire::kAcknowledge);
            client.Send(client::ControlCopy(1));
            if (DataText(client.ReceiveUntil(wire::kStatus)) != content) problems[n] = "download";
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(problems, std::vector<std::string>(kClients));
}

// An upload begun: create, connect, the data-phase Control, one record.
void BeginUpload(TestClient* client, const std::string& spec) {
    client->Send(client::Configuration());
    client->ReceiveUntil(wire::kConfiguration);
    client->Send(client::Attributes() + client::Access(2, spec, 1, client::Display91()));
    client->ReceiveUntil(wire::kAcknowledge);
    client->Send(client::ControlConnect());
    client->ReceiveUntil(wire::kAcknowledge);
    client->Send(client::ControlCopy(4));
    client->Send(client::Data(Text("first ")));
}

TEST(Stopping, UploadUnderWayMayFinishWithinTheGracePeriod) {
    ServerHarness server(QuickSettings());
    TestClient client;
    ASSERT_EQ(client.Connect(server.port()), 0);
    BeginUpload(&client, "late.txt");
    ASSERT_TRUE(Eventually([&] { return EntryCount(server.root()) == 1; }));
    std::thread stopping([&] { server.Stop(); });
    client.Send(client::Data(Text("second")) + client::AccessComplete({0x01, 0x80, 0x80, 0x00}));
    EXPECT_EQ(Types(client.ReceiveUntil(wire::kAccessComplete)), (std::vector<uint8_t>{wire::kAccessComplete}));
    stopping.join();
    EXPECT_EQ(ReadFile(server.Path("late.txt")), "first second");
}

TEST(Stopping, StalledUploadIsCutAfterTheGracePeriodLeavingTheOldTarget) {
    zeld::ServerSettings settings = QuickSettings();
    settings.graceMs = 100;
    ServerHarness server(settings);
    WriteFile(server.Path("kept.txt"), "old");
    TestClient client;
    ASSERT_EQ(client.Connect(server.port()), 0);
    BeginUpload(&client, "kept.txt");
    ASSERT_TRUE(Eventually([&] { return EntryCount(server.root()) == 2; }));
    server.Stop();
    EXPECT_EQ(EntryCount(server.root()), 1u);
    EXPECT_EQ(ReadFile(server.Path("kept.txt")), "old");
    EXPECT_NE(server.log().find("op=upload file=\"kept.txt\" outcome=shutdown"), std::string::npos) << server.log();
}

TEST(Exchange, IdleConnectionIsClosed) {
    zeld::ServerSettings settings = QuickSettings();
    settings.idleTimeoutMs = 200;
    ServerHarness server(settings);
    TestClient client;
    ASSERT_EQ(client.Connect(server.port()), 0);
    ASSERT_TRUE(Eventually([&] { return server.server().activeClients() == 0; }));
    EXPECT_NE(server.log().find("op=disconnect file=\"\" outcome=idle-timeout"), std::string::npos) << server.log();
}

}  // namespace
}  // namespace zeldtest
